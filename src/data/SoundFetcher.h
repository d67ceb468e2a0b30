#pragma once

#include <QObject>
#include <QStringList>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

class QSqlDatabase;
class SoundCache;

// Brings the recordings a centre's schedule names into this room's cache
// (SoundCache) before the exam, on a thread of its own with its own
// connection: the windows and the run never wait for it. What the room's
// `sound` folder holds is never touched. A fetch that fails is said once
// and tried again by itself.
class SoundFetcher final : public QObject
{
    Q_OBJECT

public:
    struct Room
    {
        QString server;
        QString cacheFolder;
        // Files the server does not hold are played from here, as always.
        QString soundFolder;
        int retryMs = 10'000;
        // Every statement's deadline, and the connection's.
        int statementTimeoutMs = 30'000;
    };

    explicit SoundFetcher(Room room, QObject *parent = nullptr);
    ~SoundFetcher() override;
    Q_DISABLE_COPY_MOVE(SoundFetcher)

    const Room &room() const { return m_room; }

    // Fetches what the schedule names and this room lacks; the files named
    // here first, in their order (a run's, in play order).
    void fetch(const QStringList &first = {});

signals:
    // From the fetching thread, after each file and each look at the
    // schedule: of the named files the schedule names, held are here (in
    // the cache when the server holds them, else in the sound folder).
    void progress(int held, int named);
    // Once a spell of failures, with the reason; the next progress ends it.
    void failed(const QString &reason);

private:
    void work();
    // One look at the schedule and the fetches it calls for; false when cut
    // short by a new request.
    bool round(const QSqlDatabase &db, const QStringList &first, SoundCache &cache);
    QSqlDatabase connect();
    bool stopping() const;

    const Room m_room;
    const QString m_connectionName;

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_woken = false;
    bool m_stopping = false;
    QStringList m_first;

    std::thread m_thread;
};
