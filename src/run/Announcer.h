#pragma once

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTime>
#include <optional>

class Clock;
class MediaPlayer;
class Timer;

// Plays the exam office's announcements of the day on a device of their
// own, each at its second as precisely as an instruction: its sound is
// got ready a few seconds ahead, and the timer that plays it is urgent.
// Whatever else sounds then (an instruction) is for its owner to cut off
// on started(). An announcement whose second passed before the room knew
// of it, or while the program was not running, is missed; one handled
// once (by id) never comes round again. Two at one second are heard one
// after the other, never one cut off by the next.
class Announcer final : public QObject
{
    Q_OBJECT

public:
    struct Announcement
    {
        qint64 id = 0;
        QTime second;
        QString text;
        // Where its sound is, or will be once received.
        QString path;
        // How the log and the office name the sound.
        QString file;
        // Why it cannot play whatever the room does (what the server sent
        // of it is unusable); it fails at its second with this reason.
        QString refused{};
    };

    Announcer(MediaPlayer &device, Timer &timer, const Clock &clock, QObject *parent = nullptr);

    // How long before its second a sound is got ready.
    static constexpr qint64 PrepareLeadMs = 3000;

    // The announcements known for today; those in handled were played,
    // failed or missed before (by an earlier start of the program).
    void setPlan(const QList<Announcement> &plan, const QSet<qint64> &handled = {});
    // Silences an announcement that still sounds (an instruction's second
    // came); returns it.
    std::optional<Announcement> silence();
    // The announcement that sounds now, if one does.
    std::optional<Announcement> sounding() const;
    // When the sound played last ends.
    QDateTime soundEnds() const { return m_soundEnds; }

signals:
    // Right after the play call: the sound let go delayMs after its second.
    void started(const Announcer::Announcement &announcement, qint64 delayMs, qint64 lengthMs);
    void failed(const Announcer::Announcement &announcement, const QString &reason);
    void missed(const Announcer::Announcement &announcement);

private:
    // Arms the timer for the next announcement: a few seconds before its
    // second to get it ready, then at the second.
    void aim();
    void tick();
    void play(const Announcement &announcement, const QDateTime &second);
    QDateTime secondOf(const Announcement &announcement) const;
    bool sounding(const QDateTime &now) const;

    MediaPlayer &m_device;
    Timer &m_timer;
    const Clock &m_clock;
    QList<Announcement> m_plan;
    QSet<qint64> m_handled;
    // The announcement whose sound is being got ready.
    qint64 m_prepared = 0;
    // The announcement that sounds, and when its sound ends.
    std::optional<Announcement> m_sounding;
    QDateTime m_soundEnds;
    // Those whose second came while another sounded: each plays when the
    // one before it ends, reporting how late that was.
    QSet<qint64> m_waiting;
};
