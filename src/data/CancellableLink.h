#pragma once

#include <QString>
#include <atomic>
#include <functional>
#include <mutex>

class ServerLink;

// A link of its own for work on a thread that nobody waits for (storing
// recordings, publishing an announcement), which a window may cancel at
// any moment: cancel() stops the link at once, also while a job waits for
// a server that stopped answering.
class CancellableLink final
{
public:
    // Opens a link to server for work; throws what work throws.
    void run(const QString &server, const std::function<void(ServerLink &)> &work);
    void cancel();
    // Throws DbError once cancelled: work calls it between its steps.
    void check() const;

private:
    std::atomic<bool> m_cancelled = false;
    std::mutex m_mutex;
    // The working thread's link while it has one.
    ServerLink *m_link = nullptr;
};
