#pragma once

#include "office/ClockOffset.h"
#include "office/RoomJournal.h"
#include "run/RunEvent.h"

#include <QObject>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

class Clock;
class ServerLink;

// Tells the exam office on the centre's server what this room does: every
// event of its runs into room_event, its row in room (alive, idle or running
// which subject, its clock's offset from the server's). The sending happens
// on a thread of its own, each round a job on the server's link with a
// deadline of its own; the run only hands events over, which costs a write
// to the journal beside the run log, never a wait for the network. Whatever the server has not
// accepted stays in the journal and goes when it can, also after the program was closed or killed.
class RoomReporter final : public QObject
{
    Q_OBJECT

public:
    // How long a round may take on the server, and each of its statements.
    static constexpr std::chrono::milliseconds RoundDeadline{5000};
    static constexpr int StatementWaitMs = 2000;

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
        // This PC (PcIdentity): another under the same name is told apart.
        QString pcId{};
        QString pcHost{};
    };

    // link: the server's link the room's windows use too, so that a room
    // keeps one connection; without one the reporter makes its own.
    RoomReporter(Room room, const Clock &clock, ServerLink *link = nullptr,
                 QObject *parent = nullptr);
    // Stops the link, shared or not, so that a round in flight never holds
    // the program's exit: the reporter ends with the program.
    ~RoomReporter() override;
    Q_DISABLE_COPY_MOVE(RoomReporter)

    // Why the server could not take name as a room's login (it cuts names
    // beyond 63 bytes), in Chinese first; empty when it can.
    static QString nameProblem(const QString &name);
    static constexpr int MaxNameBytes = 63;

    // From the run log, on the run's thread.
    void record(const RunEvent &event);
    // How many of the recordings the schedule names this room holds; from
    // any thread.
    void setSoundFiles(int held, int named);

    const Room &room() const { return m_room; }
    // The last measured offset of this PC's clock from the server's.
    std::optional<qint64> clockOffsetMs() const;

    // What the room's user is told when another PC, seen lately, reports
    // under the same name; host: that PC's host name and address.
    static QString nameTakenText(const QString &room, const QString &host);

signals:
    // From the sending thread; connections to windows are queued.
    void clockOffsetMeasured(qint64 offsetMs);
    // Once a clash, with nameTakenText().
    void nameTaken(const QString &message);

private:
    using Moment = std::chrono::steady_clock::time_point;

    void work();
    // One round of talking to the server; returns when it may rest next.
    Moment talk();
    // What a round does on the server.
    Moment round(const QSqlDatabase &db, Moment now);
    void measureClock(const QSqlDatabase &db);
    void updateRow(const QSqlDatabase &db);
    // Claims the room's name for this PC; false when another PC holds it.
    bool claimName(const QSqlDatabase &db);
    // Sends everything pending; true when an event was refused and set aside.
    bool sendJournal(const QSqlDatabase &db);
    bool send(const QSqlDatabase &db, const QList<RoomJournal::Entry> &entries);
    // A line of the office's own in the day's run log.
    void note(const QStringList &fields);

    const Room m_room;
    const Clock &m_clock;
    std::unique_ptr<ServerLink> m_ownLink;
    ServerLink *m_link;
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
    // Why the server refused the last event set aside, for the office.
    QString m_refused;

    // The sending thread's own.
    Moment m_clockDue{};
    Moment m_rowDue{};
    bool m_tablesSeen = false;
    bool m_blindSaid = false;
    bool m_refusalSaid = false;
    bool m_rowRefusalSaid = false;
    bool m_eventRefusalSaid = false;
    bool m_journalFailSaid = false;
    bool m_nameTakenSaid = false;
    bool m_pcUnknownSaid = false;
    bool m_serverLost = false;

    std::thread m_thread;
};
