#include "data/SoundFetcher.h"

#include "data/DbError.h"
#include "data/Dialect.h"
#include "data/Query.h"
#include "data/ServerAddress.h"
#include "data/SoundCache.h"
#include "data/SoundSchema.h"
#include "data/SoundStore.h"
#include "platform/ThreadPriority.h"

#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <atomic>
#include <optional>

namespace {

QString uniqueName()
{
    static std::atomic<int> count = 0;
    return QStringLiteral("SoundFetcher-%1").arg(++count);
}

// Thrown out of a download when the program ends.
struct Stopped
{};

} // namespace

SoundFetcher::SoundFetcher(Room room, QObject *parent)
    : QObject(parent), m_room(std::move(room)), m_connectionName(uniqueName()),
      m_thread([this] { work(); })
{}

SoundFetcher::~SoundFetcher()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

void SoundFetcher::fetch(const QStringList &first)
{
    {
        const std::lock_guard lock(m_mutex);
        m_woken = true;
        m_first = first;
    }
    m_wake.notify_all();
}

bool SoundFetcher::stopping() const
{
    const std::lock_guard lock(m_mutex);
    return m_stopping;
}

QSqlDatabase SoundFetcher::connect()
{
    QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
    if (db.isOpen())
        return db;
    if (!db.isValid())
        db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), m_connectionName);
    SoundStore::open(db, m_room.server, m_room.statementTimeoutMs);
    return db;
}

void SoundFetcher::work()
{
    // A room fetches while a run may be playing.
    ThreadPriority::backgroundCurrent();
    // One for the thread's life: each file is read through for its SHA-256
    // once, not at every look at the schedule.
    SoundCache cache(m_room.cacheFolder);
    bool failureSaid = false;
    auto due = std::chrono::steady_clock::time_point::max();
    for (;;) {
        QStringList first;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait_until(lock, due, [this] { return m_woken || m_stopping; });
            if (m_stopping)
                break;
            m_woken = false;
            first = std::exchange(m_first, {});
        }
        try {
            // A round cut short for a run's own files ends no failure.
            if (round(connect(), first, cache))
                failureSaid = false;
            due = std::chrono::steady_clock::time_point::max();
        } catch (const Stopped &) {
            break;
        } catch (const DbError &error) {
            QSqlDatabase::database(m_connectionName, false).close();
            if (!failureSaid)
                emit failed(error.text());
            failureSaid = true;
            due = std::chrono::steady_clock::now() + std::chrono::milliseconds(m_room.retryMs);
        }
    }
    QSqlDatabase::database(m_connectionName, false).close();
    QSqlDatabase::removeDatabase(m_connectionName);
}

bool SoundFetcher::round(const QSqlDatabase &db, const QStringList &first, SoundCache &cache)
{
    if (!SoundSchema::present(db))
        return true;
    const SoundStore::Named named = SoundStore::named(db);
    QStringList order;
    for (const QString &name : first)
        if (named.held.contains(name) && !order.contains(name))
            order << name;
    for (const QString &name : named.names)
        if (named.held.contains(name) && !order.contains(name))
            order << name;

    cache.sweep();
    int held = 0;
    for (const QString &name : named.names) {
        if (named.held.contains(name)
                ? cache.holds(named.held.value(name))
                : QFileInfo(m_room.soundFolder + QLatin1Char('/') + name).isFile())
            ++held;
    }
    emit progress(held, int(named.names.size()));
    // One file that cannot be had holds up none of the others.
    std::optional<DbError> failure;
    for (const QString &name : order) {
        const SoundStore::Held &file = named.held.value(name);
        if (cache.holds(file))
            continue;
        try {
            cache.receive(file, [&](const std::function<void(const QByteArray &)> &sink) {
                SoundStore::fetch(db, file, [&](const QByteArray &piece) {
                    if (stopping())
                        throw Stopped();
                    sink(piece);
                });
            });
            emit progress(++held, int(named.names.size()));
        } catch (const DbError &error) {
            if (!failure)
                failure = error;
        }
        // A run that just started wants its own files first.
        const std::lock_guard lock(m_mutex);
        if (m_woken)
            break;
    }
    if (failure)
        throw *failure;
    const std::lock_guard lock(m_mutex);
    return !m_woken;
}
