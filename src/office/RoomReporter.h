#pragma once

#include "office/ClockOffset.h"
#include "office/RoomJournal.h"
#include "run/RunEvent.h"

#include <QObject>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

class Clock;
class ServerConnection;

// Tells the exam office on the centre's server what this room does: every
// event of its runs into room_event, its row in room (alive, idle or running
// which subject, its clock's offset from the server's). The sending happens
// on a thread of its own with its own connection; the run only hands events
// over, which costs a write to the journal beside the run log, never a wait
// for the network. Whatever the server has not accepted stays in the journal
// and goes when it can, also after the program was closed or killed.
class RoomReporter final : public QObject
{
    Q_OBJECT

public:
    struct Room
    {
        QString server;
        QString name;
        QString version;
        // The run log's folder: the journal lies beside the logs, and the
        // clock's offset and a blind office are said in the day's log.
        QString logFolder;
        int clockLimitMs = 1000;
        int heartbeatMs = 30'000;
        int clockEveryMs = 600'000;
        int retryMs = 3'000;
    };

    RoomReporter(Room room, const Clock &clock, QObject *parent = nullptr);
    ~RoomReporter() override;
    Q_DISABLE_COPY_MOVE(RoomReporter)

    // From the run log, on the run's thread.
    void record(const RunEvent &event);
    // How many of the recordings the schedule names this room holds; from
    // any thread.
    void setSoundFiles(int held, int named);

    const Room &room() const { return m_room; }
    // The last measured offset of this PC's clock from the server's.
    std::optional<qint64> clockOffsetMs() const;

signals:
    // From the sending thread; connections to windows are queued.
    void clockOffsetMeasured(qint64 offsetMs);

private:
    using Moment = std::chrono::steady_clock::time_point;

    void work();
    // One round of talking to the server; returns when it may rest next.
    Moment talk(ServerConnection &server);
    void measureClock(const QSqlDatabase &db);
    void updateRow(const QSqlDatabase &db);
    void sendJournal(const QSqlDatabase &db);
    // A line of the office's own in the day's run log.
    void note(const QStringList &fields);

    const Room m_room;
    const Clock &m_clock;
    RoomJournal m_journal;

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_woken = false;
    bool m_stopping = false;
    // What the row says; changed by the run's thread.
    bool m_running = false;
    QString m_subject;
    QString m_runId;
    int m_seq = 0;
    bool m_rowChanged = true;
    std::optional<qint64> m_offsetMs;
    std::optional<std::pair<int, int>> m_soundFiles;

    // The sending thread's own.
    Moment m_clockDue{};
    Moment m_rowDue{};
    bool m_tablesSeen = false;
    bool m_blindSaid = false;
    bool m_refusalSaid = false;
    bool m_journalFailSaid = false;
    bool m_serverLost = false;

    std::thread m_thread;
};
