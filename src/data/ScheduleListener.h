#pragma once

#include <QObject>
#include <QSet>
#include <QString>

class QTimer;

// The far end of a ScheduleWatch: on a thread of its own, with a connection
// of its own, it listens for the server's notices of schedule changes. It
// finds out by itself that its connection broke and connects again, never on
// the windows' thread.
class ScheduleListener final : public QObject
{
    Q_OBJECT

public:
    explicit ScheduleListener(QString uri);
    ~ScheduleListener() override;
    Q_DISABLE_COPY_MOVE(ScheduleListener)

    // How often a broken or refused connection is tried again.
    static constexpr int RetryMs = 3000;
    // A re-read now and then in case a notice was lost on its way.
    static constexpr int SafetyMs = 5 * 60 * 1000;
    // Notices this close together are passed on as one: a script of many
    // small transactions makes each room read once, not once each.
    static constexpr int GatherMs = 50;

    // On the listener's thread: connects and starts listening.
    void begin();
    // On the listener's thread: closes the connection.
    void end();

signals:
    // writer: the server process that made the change; 0 when not known
    // (after a reconnection, or the safety re-read).
    void changed(qint64 writer);

private:
    void listen();
    void check();

    QString m_uri;
    QString m_name;
    QTimer *m_check = nullptr;
    QTimer *m_safety = nullptr;
    QTimer *m_gather = nullptr;
    // The writers of the notices gathered so far.
    QSet<qint64> m_writers;
    bool m_listening = false;
};
