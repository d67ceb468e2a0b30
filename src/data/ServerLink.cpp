#include "data/ServerLink.h"

#include "data/DbError.h"
#include "data/Dialect.h"
#include "data/Query.h"
#include "data/ServerAddress.h"
#include "data/Session.h"

#include <QElapsedTimer>
#include <QHash>
#include <QPointer>
#include <QSet>
#include <QSocketNotifier>
#include <QSqlDriver>
#include <QSqlQuery>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <libpq-fe.h>
#include <mutex>
#include <vector>

#ifdef Q_OS_WIN
#include <winsock2.h>
#else
#include <sys/socket.h>
#endif

namespace {

QString uniqueConnectionName()
{
    static std::atomic<int> count = 0;
    return QStringLiteral("ServerLink-%1").arg(++count);
}

PGconn *handleOf(const QSqlDatabase &db)
{
    // The driver registers the type as PGconn*; Qt names it by the struct
    // behind the typedef.
    const QVariant handle = db.driver()->handle();
    if (!handle.isValid() ||
        (qstrcmp(handle.typeName(), "PGconn*") != 0 && qstrcmp(handle.typeName(), "pg_conn*") != 0))
        return nullptr;
    return *static_cast<PGconn *const *>(handle.constData());
}

void shutSocket(int socket)
{
#ifdef Q_OS_WIN
    ::shutdown(SOCKET(socket), SD_BOTH);
#else
    ::shutdown(socket, SHUT_RDWR);
#endif
}

DbError noAnswer(const QString &uri, const QString &why)
{
    return DbError(ServerAddress::shown(uri) + QStringLiteral(": ") + why, DbError::Kind::NoAnswer);
}

bool breaksTheConnection(const std::exception_ptr &failure)
{
    try {
        std::rethrow_exception(failure);
    } catch (const DbError &error) {
        return error.kind() == DbError::Kind::Unreachable ||
               error.kind() == DbError::Kind::NoAnswer;
    } catch (...) {
    }
    return false;
}

} // namespace

struct ServerLink::Job
{
    enum class State
    {
        Queued,
        Connecting,
        Working,
        Done
    };
    Work work;
    State state = State::Queued;
    bool abandoned = false;
    std::exception_ptr failure;
    // post() only: whom to tell, on the link's own thread, and whether told.
    QPointer<QObject> receiver;
    Done done;
    bool told = false;
};

// What the link and its thread share; it outlives a link whose thread is
// still stuck in opening a connection.
struct ServerLink::Core
{
    QString uri;
    bool readOnly = false;
    QString name = uniqueConnectionName();
    std::atomic<bool> connected = false;
    std::atomic<bool> lost = false;
    std::atomic<qint64> backend = 0;

    std::mutex mutex;
    std::condition_variable changed;
    std::shared_ptr<Job> current;
    int socket = -1;
    // A caller gave up on the job the link is busy with.
    bool noAnswer = false;
    bool stopped = false;
    // Null once the link is gone; its signals and answers go through it.
    ServerLink *owner = nullptr;

    // The link thread's own.
    std::unique_ptr<Session> session;
    // By channel, in the server's encoding.
    QHash<QByteArray, std::vector<Heard>> listeners;
    // The channels the connection listens on, and its socket's watch.
    QSet<QByteArray> listened;
    std::unique_ptr<QSocketNotifier> watch;
    // The notices heard in the second since flood started.
    int flood = 0;
    QElapsedTimer floodStarted;
    // Listening to nothing, for a flood; the floods so far.
    bool deaf = false;
    int floods = 0;
    // Listening again after a flood: what came since the last poke is due.
    bool relistening = false;
    // On the link's thread, gone with it: the jobs' context.
    QObject *context = nullptr;

    void execute(const std::shared_ptr<Job> &job);
    void open();
    void listen();
    // Hands what notices arrived to their listeners.
    void hear();
    void pass(std::vector<Heard> &heard, QByteArrayView payload);
    // Every listener, for whatever a flood kept from them.
    void poke();
    void counted(int notices);
    // Pokes every PollMs while deaf during the same flood.
    void poll(int during);
    void listenAsWanted();
    // Under the mutex: why a job is refused at once.
    QString refusal() const
    {
        return stopped ? QStringLiteral("the program is ending")
                       : QStringLiteral("still no answer to an earlier statement");
    }
    void drop();
    void closeSession();
    // Under the mutex: hands the answer of a posted job to the link.
    void tell(const std::shared_ptr<Job> &job);
};

void ServerLink::Core::execute(const std::shared_ptr<Job> &job)
{
    {
        const std::lock_guard lock(mutex);
        if (job->abandoned || stopped) {
            job->state = Job::State::Done;
            noAnswer = false;
            changed.notify_all();
            return;
        }
        current = job;
        job->state = session ? Job::State::Working : Job::State::Connecting;
    }
    std::exception_ptr failure;
    try {
        if (!session)
            open();
        bool abandoned = false;
        {
            const std::lock_guard lock(mutex);
            abandoned = job->abandoned;
            if (!abandoned)
                job->state = Job::State::Working;
        }
        if (!abandoned)
            job->work(*session);
    } catch (...) {
        failure = std::current_exception();
    }
    if (session) {
        PGconn *handle = handleOf(session->db());
        if ((failure && breaksTheConnection(failure)) || !handle ||
            PQstatus(handle) != CONNECTION_OK)
            drop();
        else if (watch)
            // Those that came while the job's statements waited for answers.
            hear();
    }
    const std::lock_guard lock(mutex);
    current.reset();
    noAnswer = false;
    job->state = Job::State::Done;
    if (!job->failure)
        job->failure = failure;
    tell(job);
    changed.notify_all();
}

void ServerLink::Core::open()
{
    QSqlDatabase db = QSqlDatabase::contains(name)
                          ? QSqlDatabase::database(name, false)
                          : QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
    try {
        ServerAddress::configure(db, ServerAddress::withNetworkLimits(uri));
    } catch (const DbError &error) {
        lost = true;
        throw DbError(error.text(), DbError::Kind::Unreachable);
    }
    if (!db.open()) {
        const DbError error = Dialect::error(Dialect::Engine::PostgreSQL, db.lastError())
                                  .concerning(ServerAddress::shown(uri));
        db.close();
        lost = true;
        throw error;
    }
    auto opened = std::make_unique<Session>(db);
    if (readOnly)
        Query::run(db, {QStringLiteral("SET default_transaction_read_only = on"), {}});
    {
        const std::lock_guard lock(mutex);
        PGconn *handle = handleOf(db);
        socket = handle ? PQsocket(handle) : -1;
        backend = handle ? PQbackendPID(handle) : 0;
    }
    session = std::move(opened);
    connected = true;
    listen();
    if (lost.exchange(false)) {
        const std::lock_guard lock(mutex);
        if (owner)
            QMetaObject::invokeMethod(owner, &ServerLink::reconnected, Qt::QueuedConnection);
    }
}

// The link reads the notices itself rather than through the driver, which
// makes strings of each and wakes for every one.
void ServerLink::Core::listen()
{
    const QSqlDatabase db = session->db();
    if (deaf) {
        if (!listened.isEmpty())
            Query::run(db, {QStringLiteral("UNLISTEN *"), {}});
        listened.clear();
        return;
    }
    for (auto channel = listeners.cbegin(); channel != listeners.cend(); ++channel)
        if (!listened.contains(channel.key())) {
            Query::run(db, {QStringLiteral("LISTEN ") +
                                db.driver()->escapeIdentifier(QString::fromUtf8(channel.key()),
                                                              QSqlDriver::TableName),
                            {}});
            listened.insert(channel.key());
        }
    if (std::exchange(relistening, false))
        poke();
    PGconn *handle = handleOf(db);
    if (watch || listened.isEmpty() || !handle)
        return;
    watch = std::make_unique<QSocketNotifier>(PQsocket(handle), QSocketNotifier::Read);
    QObject::connect(watch.get(), &QSocketNotifier::activated, watch.get(), [this] { hear(); });
}

void ServerLink::Core::hear()
{
    PGconn *handle = handleOf(session->db());
    // A connection that broke is found by the next job, the watch's probe.
    if (!PQconsumeInput(handle)) {
        watch->setEnabled(false);
        return;
    }
    int heard = 0;
    while (PGnotify *notice = PQnotifies(handle)) {
        ++heard;
        const auto found = listeners.find(
            QByteArray::fromRawData(notice->relname, qsizetype(strlen(notice->relname))));
        if (found != listeners.end())
            pass(*found, QByteArrayView(notice->extra));
        PQfreemem(notice);
    }
    counted(heard);
    // Each notice comes in a packet of its own: in a flood, waking up for
    // every one would cost the machine far more than the notices. What comes
    // meanwhile waits in the socket and is read at once after the pause.
    if (heard && watch->isEnabled()) {
        watch->setEnabled(false);
        QTimer::singleShot(NoticePauseMs, watch.get(),
                           [notifier = watch.get()] { notifier->setEnabled(true); });
    }
}

void ServerLink::Core::pass(std::vector<Heard> &heard, QByteArrayView payload)
{
    std::erase_if(heard, [&](const Heard &listener) { return !listener(payload); });
}

void ServerLink::Core::poke()
{
    for (auto channel = listeners.begin(); channel != listeners.end(); ++channel)
        pass(*channel, {});
}

void ServerLink::Core::counted(int notices)
{
    if (!floodStarted.isValid() || floodStarted.elapsed() > 1000) {
        floodStarted.start();
        flood = 0;
    }
    flood += notices;
    if (deaf || flood <= FloodNotices)
        return;
    deaf = true;
    if (++floods == 1)
        qWarning("Tessivox: more than %d notices a second from the server; asking it every %d ms "
                 "for %d s at a time instead",
                 FloodNotices, PollMs, DeafMs / 1000);
    QTimer::singleShot(DeafMs, context, [this] {
        deaf = false;
        relistening = true;
        flood = 0;
        floodStarted.start();
        listenAsWanted();
    });
    listenAsWanted();
    poll(floods);
}

void ServerLink::Core::listenAsWanted()
{
    // As a job with its deadline, which only the link may give.
    const std::lock_guard lock(mutex);
    if (owner)
        QMetaObject::invokeMethod(owner, &ServerLink::listenAsWanted, Qt::QueuedConnection);
}

void ServerLink::Core::poll(int during)
{
    if (!deaf || during != floods)
        return;
    poke();
    QTimer::singleShot(PollMs, context, [this, during] { poll(during); });
}

void ServerLink::Core::drop()
{
    {
        const std::lock_guard lock(mutex);
        socket = -1;
    }
    closeSession();
    connected = false;
    backend = 0;
    lost = true;
}

void ServerLink::Core::closeSession()
{
    if (!session)
        return;
    // A connection's statements end with it on the server. Let go while
    // their driver lives, each would ask the server to free it: a server
    // gone, the driver prints "Unable to free statement" for every one.
    const Session::Statements statements = session->takeStatements();
    // Before the socket it watches is closed.
    watch.reset();
    listened.clear();
    session.reset();
    QSqlDatabase::removeDatabase(name);
}

void ServerLink::Core::tell(const std::shared_ptr<Job> &job)
{
    if (!job->done || job->told || !owner)
        return;
    job->told = true;
    QMetaObject::invokeMethod(
        owner,
        [job] {
            if (job->receiver)
                job->done(job->failure);
        },
        Qt::QueuedConnection);
}

namespace {

// The link's thread: its event loop runs the jobs; the connection is
// closed on it when the loop ends.
class LinkThread final : public QThread
{
public:
    explicit LinkThread(std::function<void()> end) : m_end(std::move(end)) {}

protected:
    void run() override
    {
        exec();
        m_end();
    }

private:
    std::function<void()> m_end;
};

} // namespace

ServerLink::ServerLink(QString uri, bool readOnly, QObject *parent)
    : QObject(parent), m_uri(std::move(uri)), m_core(std::make_shared<Core>())
{
    m_core->uri = m_uri;
    m_core->readOnly = readOnly;
    m_core->owner = this;
    // The context of the jobs, which the thread deletes as it ends.
    m_context = new QObject;
    m_core->context = m_context;
    m_thread = new LinkThread([core = m_core, context = m_context] {
        core->closeSession();
        QSqlDatabase::removeDatabase(core->name);
        delete context;
    });
    m_context->moveToThread(m_thread);
    connect(m_thread, &QThread::finished, m_thread, &QObject::deleteLater);
    m_thread->start();
}

ServerLink::~ServerLink()
{
    {
        const std::lock_guard lock(m_core->mutex);
        m_core->owner = nullptr;
    }
    stop();
    m_thread->quit();
    // A thread stuck in opening a connection (connect_timeout) cannot be
    // freed; it ends by itself and deletes itself then.
    if (m_thread->wait(QDeadlineTimer(1000)))
        delete m_thread;
}

bool ServerLink::isConnected() const
{
    return m_core->connected;
}

bool ServerLink::isLost() const
{
    return m_core->lost;
}

qint64 ServerLink::serverProcess() const
{
    return m_core->backend;
}

void ServerLink::enqueue(const std::shared_ptr<Job> &job)
{
    QMetaObject::invokeMethod(
        m_context, [core = m_core, job] { core->execute(job); }, Qt::QueuedConnection);
}

void ServerLink::run(const Work &work, Deadline deadline)
{
    auto job = std::make_shared<Job>();
    job->work = work;
    {
        const std::lock_guard lock(m_core->mutex);
        if (m_core->stopped || m_core->noAnswer)
            throw noAnswer(m_uri, m_core->refusal());
    }
    enqueue(job);
    std::unique_lock lock(m_core->mutex);
    m_core->changed.wait_for(lock, deadline,
                             [&] { return job->state == Job::State::Done || m_core->stopped; });
    if (job->state != Job::State::Done) {
        giveUp(*m_core, job);
        // A job cut off in the middle ends at once, its socket shut; one not
        // begun never will be. Only then may the caller touch what work did.
        m_core->changed.wait(lock, [&] { return job->state != Job::State::Working; });
    }
    if (job->failure)
        std::rethrow_exception(job->failure);
}

void ServerLink::giveUp(Core &core, const std::shared_ptr<Job> &job)
{
    if (job->state == Job::State::Done)
        return;
    job->abandoned = true;
    job->failure = std::make_exception_ptr(
        noAnswer(core.uri, core.stopped ? QStringLiteral("the program is ending")
                                        : QStringLiteral("no answer within the time allowed")));
    // Whoever comes while the link is still busy with what did not answer
    // is refused at once rather than queued behind it.
    if (!core.stopped && core.current)
        core.noAnswer = true;
    if (core.current == job && job->state == Job::State::Working && core.socket >= 0)
        shutSocket(core.socket);
    core.tell(job);
}

void ServerLink::post(Work work, Deadline deadline, QObject *receiver, Done done)
{
    auto job = std::make_shared<Job>();
    job->work = std::move(work);
    job->receiver = receiver;
    job->done = std::move(done);
    {
        const std::lock_guard lock(m_core->mutex);
        if (m_core->stopped || m_core->noAnswer) {
            job->state = Job::State::Done;
            job->failure = std::make_exception_ptr(noAnswer(m_uri, m_core->refusal()));
            m_core->tell(job);
            return;
        }
    }
    enqueue(job);
    QTimer::singleShot(deadline, this, [core = m_core, job] {
        const std::lock_guard lock(core->mutex);
        giveUp(*core, job);
    });
}

void ServerLink::probe()
{
    post([](Session &) {}, Deadline(ServerAddress::ConnectWaitS * 1000), nullptr, {});
}

void ServerLink::subscribe(const QString &channel, Heard heard)
{
    QMetaObject::invokeMethod(
        m_context,
        [core = m_core, channel = channel.toUtf8(), heard = std::move(heard)] {
            core->listeners[channel].push_back(heard);
        },
        Qt::QueuedConnection);
    listenAsWanted();
}

void ServerLink::listenAsWanted()
{
    // Opens the connection, which listens as it opens, or listens on it.
    post([core = m_core](Session &) { core->listen(); },
         Deadline(ServerAddress::ConnectWaitS * 1000), nullptr, {});
}

void ServerLink::stop()
{
    const std::lock_guard lock(m_core->mutex);
    m_core->stopped = true;
    if (m_core->current && m_core->current->state == Job::State::Working && m_core->socket >= 0)
        shutSocket(m_core->socket);
    m_core->changed.notify_all();
}
