#pragma once

#include "data/SoundStore.h"

#include <QObject>
#include <QStringList>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

class ServerLink;
class SoundCache;

// Brings the recordings a centre's schedule names into this room's cache
// (SoundCache) before the exam, on a thread of its own with a link of its
// own (ServerLink), opened for each look at the schedule and closed after
// it: the windows and the run never wait for it, and the room's one
// connection of the day stays one. Every statement is a job with a
// deadline, a piece of a file a job, so a server that stopped answering
// holds the thread no longer than that, and ending the fetcher stops the
// link at once. What the room's `sound` folder holds is never touched. A
// fetch that fails is said once and tried again by itself.
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
        // Every job's deadline: a look at the schedule, a piece of a file.
        int deadlineMs = 30'000;
        // How often the cache is looked at between requests, for a file or
        // the folder gone.
        int checkMs = 5'000;
    };

    explicit SoundFetcher(Room room, QObject *parent = nullptr);
    // Returns at once, whatever the server does: the link is stopped.
    ~SoundFetcher() override;
    Q_DISABLE_COPY_MOVE(SoundFetcher)

    const Room &room() const { return m_room; }

    // Fetches what the schedule names and this room lacks; the files named
    // here first, in their order (a run's, in play order), each read through
    // again for its SHA-256 and fetched anew at once when it is not whole.
    void fetch(const QStringList &first = {});
    // Fetches these contents too, before anything else, whether the
    // schedule names them or not (the office's announcements), until the
    // next call names others.
    void fetchContent(const QList<SoundStore::Held> &files);

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
    bool round(ServerLink &link, const QStringList &first, SoundCache &cache);
    // Receives those of files the cache lacks; the first failure is thrown
    // once all were tried.
    void receive(ServerLink &link, const QList<SoundStore::Held> &files, SoundCache &cache);
    bool stopping() const;

    const Room m_room;

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_woken = false;
    bool m_stopping = false;
    QStringList m_first;
    QList<SoundStore::Held> m_contents;
    // The fetching thread's link while it has one: stopped on destruction.
    ServerLink *m_link = nullptr;
    // The fetching thread's own: what the last round found in the cache.
    QList<SoundStore::Held> m_kept;

    std::thread m_thread;
};
