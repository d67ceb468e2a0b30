#pragma once

#include <QByteArrayView>
#include <QObject>
#include <QString>
#include <chrono>
#include <exception>
#include <functional>
#include <memory>

class QThread;
class Session;

// The one way this program talks to a PostgreSQL server: a thread of its
// own holding one connection, opened with ServerAddress's network limits, on
// which callers' work runs as jobs, one at a time. A caller waits for its
// job at most its deadline. Past it the job is given up: the connection's
// socket is shut, so that the libpq call the job hangs in returns at once,
// and the connection is dropped; the next job opens a new one. A server
// that takes connections and answers nothing (its processes stopped, stuck
// on its disk) trips neither TCP keepalives nor its own timeouts: only the
// client can give up on it.
class ServerLink final : public QObject
{
    Q_OBJECT

public:
    using Work = std::function<void(Session &)>;
    // Called with the job's failure, or null when it succeeded.
    using Done = std::function<void(std::exception_ptr)>;
    using Deadline = std::chrono::milliseconds;

    // Nothing is contacted until the first job. readOnly: every
    // transaction of the connection is read-only.
    explicit ServerLink(QString uri, bool readOnly = false, QObject *parent = nullptr);
    // Stops the link and waits about a second at most for its thread; a
    // thread still stuck in opening a connection is left to end by itself.
    ~ServerLink() override;
    Q_DISABLE_COPY_MOVE(ServerLink)

    const QString &uri() const { return m_uri; }
    bool isConnected() const;
    // The last attempt to reach the server failed, or it did not answer.
    bool isLost() const;
    // The server's process serving the connection, 0 when none: a notice
    // that names it came from this program's own statements.
    qint64 serverProcess() const;

    // Runs work on the connection, opened first when needed, and waits at
    // most deadline. Throws what work threw, DbError when the connection
    // cannot be opened, and DbError of kind NoAnswer when the deadline
    // passed, or at once while a job another caller gave up on still holds
    // the link: work then did not run, or was cut off in the middle.
    void run(const Work &work, Deadline deadline);
    // The same without waiting: done runs on the thread the link was made
    // on, unless receiver is gone by then. Work must own what it touches:
    // after the deadline it may still be ending.
    void post(Work work, Deadline deadline, QObject *receiver, Done done);
    // Opens the connection if it is closed, without waiting: reconnected()
    // says when the server is back.
    void probe();

    // What a listener does with each notice on its channel, on the link's
    // own thread as the notice comes, while the link waits: it must be quick.
    // Any login may notify any channel, hundreds of times a second. It
    // returns false once its listener is gone; it is called no more then.
    using Heard = std::function<bool(QByteArrayView payload)>;
    // After a notice, the link reads the next ones this much later, all at
    // once, however many came meanwhile.
    static constexpr int NoticePauseMs = 100;
    // More notices than this within a second are a flood. Sending each to
    // every listening room costs the server more than the rooms: while it
    // lasts the link listens to nothing and tells each listener an empty
    // payload every PollMs instead, and listens again DeafMs later.
    static constexpr int FloodNotices = 50;
    static constexpr int PollMs = 300;
    static constexpr int DeafMs = 10'000;

    // LISTEN on channel from now on, again on every new connection, and hand
    // each notice to heard. A connection that broke is opened again by the
    // next job: a listener that has none to give asks with probe().
    void subscribe(const QString &channel, Heard heard);

    // Ends the job running and every one waiting at once, and refuses those
    // to come, so that nothing holds the program's exit.
    void stop();

signals:
    // A connection was opened after the server had been lost or had not
    // answered.
    void reconnected();

private:
    struct Core;
    struct Job;
    void enqueue(const std::shared_ptr<Job> &job);
    // Makes the connection listen as the listeners and a flood want.
    void listenAsWanted();
    // Under the core's mutex.
    static void giveUp(Core &core, const std::shared_ptr<Job> &job);

    QString m_uri;
    std::shared_ptr<Core> m_core;
    QThread *m_thread;
    // Lives on the link's thread: the jobs are handed to it.
    QObject *m_context;
};
