#include "schedule/SoundFetcher.h"

#include "data/DbError.h"
#include "data/ServerLink.h"
#include "data/SoundCache.h"
#include "data/SoundStore.h"
#include "platform/ThreadPriority.h"
#include "schedule/NamedRecordings.h"

#include <QFileInfo>
#include <QScopeGuard>
#include <optional>

namespace {

// Thrown out of a download when the program ends.
struct Stopped
{};

} // namespace

SoundFetcher::SoundFetcher(Room room, QObject *parent)
    : QObject(parent), m_room(std::move(room)), m_thread([this] { work(); })
{}

SoundFetcher::~SoundFetcher()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
        // A job stuck on a server that stopped answering ends now.
        if (m_link)
            m_link->stop();
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

void SoundFetcher::fetchContent(const QList<SoundStore::Held> &files)
{
    {
        const std::lock_guard lock(m_mutex);
        m_woken = true;
        m_contents = files;
    }
    m_wake.notify_all();
}

bool SoundFetcher::stopping() const
{
    const std::lock_guard lock(m_mutex);
    return m_stopping;
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
        bool asked = false;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait_until(lock, due, [this] { return m_woken || m_stopping; });
            if (m_stopping)
                break;
            asked = std::exchange(m_woken, false);
            first = std::exchange(m_first, {});
        }
        // Between requests only a look at the disk: a file or the whole
        // folder gone is fetched again and the count said anew.
        const auto nextLook = [this] {
            return std::chrono::steady_clock::now() + std::chrono::milliseconds(m_room.checkMs);
        };
        if (!asked && !failureSaid && cache.stillHolds(m_kept)) {
            due = nextLook();
            continue;
        }
        try {
            ServerLink link(m_room.server, true);
            {
                const std::lock_guard lock(m_mutex);
                if (m_stopping)
                    break;
                m_link = &link;
            }
            const auto forget = qScopeGuard([this] {
                const std::lock_guard lock(m_mutex);
                m_link = nullptr;
            });
            // A round cut short for a run's own files ends no failure.
            if (round(link, first, cache))
                failureSaid = false;
            due = nextLook();
        } catch (const Stopped &) {
            break;
        } catch (const DbError &error) {
            if (stopping())
                break;
            if (!failureSaid)
                emit failed(error.text());
            failureSaid = true;
            due = std::chrono::steady_clock::now() + std::chrono::milliseconds(m_room.retryMs);
        }
    }
}

bool SoundFetcher::round(ServerLink &link, const QStringList &first, SoundCache &cache)
{
    const std::chrono::milliseconds deadline(m_room.deadlineMs);
    QList<SoundStore::Held> contents;
    {
        const std::lock_guard lock(m_mutex);
        contents = m_contents;
    }
    // One file that cannot be had holds up none of the others.
    std::optional<DbError> failure;
    // An announcement's second is near: its recording before the day's.
    try {
        receive(link, contents, cache);
    } catch (const DbError &error) {
        failure = error;
    }
    const std::optional<NamedRecordings::Named> kept = NamedRecordings::readIfKept(link, deadline);
    if (!kept) {
        if (failure)
            throw *failure;
        return true;
    }
    const NamedRecordings::Named &named = *kept;
    QStringList order;
    for (const QString &name : first)
        if (named.held.contains(name) && !order.contains(name))
            order << name;
    for (const QString &name : named.names)
        if (named.held.contains(name) && !order.contains(name))
            order << name;

    for (const QString &name : first)
        if (named.held.contains(name))
            cache.doubt(named.held.value(name).sha256);
    cache.sweep();
    int held = 0;
    for (const QString &name : named.names) {
        if (named.held.contains(name)
                ? cache.holds(named.held.value(name))
                : QFileInfo(m_room.soundFolder + QLatin1Char('/') + name).isFile())
            ++held;
    }
    emit progress(held, int(named.names.size()));
    for (const QString &name : order) {
        const SoundStore::Held &file = named.held.value(name);
        if (cache.holds(file))
            continue;
        try {
            receive(link, {file}, cache);
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
    m_kept.clear();
    for (const SoundStore::Held &file : std::as_const(named.held))
        if (cache.stillHolds({file}))
            m_kept << file;
    if (failure)
        throw *failure;
    const std::lock_guard lock(m_mutex);
    return !m_woken;
}

void SoundFetcher::receive(ServerLink &link, const QList<SoundStore::Held> &files,
                           SoundCache &cache)
{
    const std::chrono::milliseconds deadline(m_room.deadlineMs);
    std::optional<DbError> failure;
    for (const SoundStore::Held &file : files) {
        if (cache.holds(file))
            continue;
        try {
            cache.receive(file, [&](const std::function<void(const QByteArray &)> &sink) {
                SoundStore::fetch(link, file, deadline, [&](const QByteArray &piece) {
                    if (stopping())
                        throw Stopped();
                    sink(piece);
                });
            });
        } catch (const DbError &error) {
            if (stopping())
                throw Stopped();
            if (!failure)
                failure = error;
        }
    }
    if (failure)
        throw *failure;
}
