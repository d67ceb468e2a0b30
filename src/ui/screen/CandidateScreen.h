#pragma once

#include <QDateTime>
#include <QWidget>

class Clock;
class FittedLabel;
class QScreen;
class RegionalFormats;
class TickingText;
class Timer;

// The exam as the candidates see it on the room's projector: the title, the
// subject, the time to the second, the exam's times with the time left, and
// the explanation of the instruction being spoken. A full-screen window on
// the screen the setting names, following screens plugged in or removed;
// hidden while there is none. It takes no input and never the focus: the
// run window stays the invigilator's.
class CandidateScreen final : public QWidget
{
    Q_OBJECT

public:
    // setting: "auto", "none", a screen's number from 1 or its name.
    CandidateScreen(const Clock &clock, const RegionalFormats &formats, const QString &setting);
    ~CandidateScreen() override;

    void showExam(const QString &title, const QString &subject, const QDateTime &start,
                  const QDateTime &end);
    // An instruction began to play: its explanation replaces the clock until
    // the next one, or until a few seconds after its sound ends.
    void speak(const QString &explanation, qint64 lengthMs);
    // The sound stopped before its end: its explanation stays a few seconds
    // from now, not from the end it would have had.
    void silenced();

    FittedLabel *Lbl_title;
    FittedLabel *Lbl_subject;
    TickingText *Lbl_clock;
    FittedLabel *Lbl_explanation;
    FittedLabel *Lbl_times;
    TickingText *Lbl_countdown;
    // Fires just after each second of the clock begins.
    Timer *secondTimer;
    // Ends the explanation.
    Timer *explanationTimer;

signals:
    // Shown, it turns on each second; hidden, it stops.
    void turning(bool on);
    // A second of the clock has begun (while shown).
    void secondBegan();

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    // Onto the screen the setting names, or hidden.
    void follow();
    void onScreen(QScreen *screen);
    void tick();
    void endExplanation();

    const Clock &m_clock;
    const RegionalFormats &m_formats;
    QString m_setting;
    QDateTime m_start;
    QDateTime m_end;
    QMetaObject::Connection m_screenResized;
};
