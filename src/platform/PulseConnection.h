#pragma once

#include <QString>
#include <QtGlobal>
#include <functional>

struct pa_context;
struct pa_operation;
struct pa_threaded_mainloop;

// A connection to the sound server (PulseAudio, or PipeWire in its place),
// served by a thread of its own. A server that goes away leaves the
// connection failed; the next connect() makes a new one, so a restarted or
// late server is found again. Several threads may connect and wait at once.
//
// The context, its streams and everything their callbacks touch are guarded
// by the connection's lock (lock()/unlock(), for std::lock_guard). Callbacks
// run on the connection's thread with the lock held.
class PulseConnection final
{
public:
    // A server that does not answer a request within answerWithinMs counts
    // as none for that request.
    explicit PulseConnection(int answerWithinMs = 2000);
    // Disconnects, then stops the thread: a stream or context left to the
    // process's exit is what crashed programs there.
    ~PulseConnection();
    Q_DISABLE_COPY_MOVE(PulseConnection)

    void lock() const;
    void unlock() const;

    // With the lock held. Empty when connected (anew if the server went away
    // since), otherwise why no server took the connection.
    QString connect();
    // With the lock held: whether the server of the last connect() went away
    // (or refused it), rather than answering or being waited for.
    bool lost() const;
    // Valid after a connect(), also a failed one, until the next.
    pa_context *context() const { return m_context; }
    // The context's last error as text.
    QString lastError() const;

    // With the lock held, not on the connection's thread: waits until done()
    // holds, letting the connection's thread run meanwhile; false when it did
    // not within withinMs (default: the connection's bound).
    bool waitFor(const std::function<bool()> &done, int withinMs = -1);
    // With the lock held: waits for a request to the server to complete and
    // releases it; false when it did not within withinMs (default: the
    // connection's bound), and it is cancelled then.
    bool await(pa_operation *operation, int withinMs = -1);
    // From a callback: wakes waitFor() to look again.
    void wake() const;

private:
    void dropContext();

    int m_answerWithinMs;
    // The connection's thread, once it follows the realtime one; both
    // guarded by the lock.
    long m_thread = 0;
    bool m_closing = false;
    pa_threaded_mainloop *m_mainloop;
    pa_context *m_context = nullptr;
};
