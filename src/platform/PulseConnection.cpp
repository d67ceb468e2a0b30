#include "platform/PulseConnection.h"

#include "platform/ThreadPriority.h"

#include <QCoreApplication>
#include <pulse/context.h>
#include <pulse/error.h>
#include <pulse/mainloop-api.h>
#include <pulse/operation.h>
#include <pulse/thread-mainloop.h>
#include <pulse/timeval.h>

namespace {

void wakeLoop(pa_threaded_mainloop *mainloop)
{
    pa_threaded_mainloop_signal(mainloop, 0);
}

} // namespace

PulseConnection::PulseConnection(int answerWithinMs)
    : m_answerWithinMs(answerWithinMs), m_mainloop(pa_threaded_mainloop_new())
{
    pa_threaded_mainloop_set_name(m_mainloop, "sound server");
    pa_threaded_mainloop_start(m_mainloop);
    // The thread sends the start of a sound and writes its data: raised, and
    // realtime around a second as the thread that plays is; refused, it goes
    // on as it is.
    lock();
    pa_mainloop_api_once(
        pa_threaded_mainloop_get_api(m_mainloop),
        [](pa_mainloop_api *, void *self) {
            auto *connection = static_cast<PulseConnection *>(self);
            if (connection->m_closing)
                return;
            ThreadPriority::raiseCurrent();
            connection->m_thread = ThreadPriority::followRealtime();
        },
        this);
    unlock();
}

PulseConnection::~PulseConnection()
{
    lock();
    // Under the lock, so that the thread is let go once it followed.
    m_closing = true;
    if (m_thread != 0)
        ThreadPriority::unfollowRealtime(m_thread);
    dropContext();
    unlock();
    pa_threaded_mainloop_stop(m_mainloop);
    pa_threaded_mainloop_free(m_mainloop);
}

void PulseConnection::lock() const
{
    pa_threaded_mainloop_lock(m_mainloop);
}

void PulseConnection::unlock() const
{
    pa_threaded_mainloop_unlock(m_mainloop);
}

void PulseConnection::wake() const
{
    wakeLoop(m_mainloop);
}

QString PulseConnection::connect()
{
    if (m_context && pa_context_get_state(m_context) == PA_CONTEXT_READY)
        return {};
    // A context still connecting (for another thread, or for a server that
    // has not answered yet) is waited for; a failed or terminated one cannot
    // connect again, and a new one also reads the server's address afresh.
    if (!m_context || !PA_CONTEXT_IS_GOOD(pa_context_get_state(m_context))) {
        dropContext();
        m_context = pa_context_new(pa_threaded_mainloop_get_api(m_mainloop),
                                   qUtf8Printable(QCoreApplication::applicationName()));
        pa_context_set_state_callback(
            m_context,
            [](pa_context *, void *mainloop) {
                wakeLoop(static_cast<pa_threaded_mainloop *>(mainloop));
            },
            m_mainloop);
        // Starting a server is the desktop's business; a spawn attempt would
        // also hold up the play that asked.
        if (pa_context_connect(m_context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
            return QStringLiteral("No sound server: %1").arg(lastError());
    }
    pa_context *const context = m_context;
    // Another thread may replace a context that failed meanwhile.
    const auto settled = [this, context] {
        if (m_context != context)
            return true;
        const pa_context_state_t state = pa_context_get_state(m_context);
        return state == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(state);
    };
    if (!waitFor(settled))
        return QStringLiteral("No sound server: it did not answer");
    if (m_context != context)
        return connect();
    if (pa_context_get_state(m_context) != PA_CONTEXT_READY)
        return QStringLiteral("No sound server: %1").arg(lastError());
    return {};
}

bool PulseConnection::lost() const
{
    return m_context && !PA_CONTEXT_IS_GOOD(pa_context_get_state(m_context));
}

QString PulseConnection::lastError() const
{
    return QString::fromUtf8(pa_strerror(pa_context_errno(m_context)));
}

bool PulseConnection::waitFor(const std::function<bool()> &done, int withinMs)
{
    struct Deadline
    {
        pa_threaded_mainloop *mainloop;
        bool passed = false;
    } deadline{m_mainloop};
    // A wall-clock time, which the loop turns into a monotonic one at once:
    // no context is needed for it, and setting the clock changes nothing.
    timeval at{};
    pa_timeval_add(pa_gettimeofday(&at),
                   pa_usec_t(withinMs < 0 ? m_answerWithinMs : withinMs) * PA_USEC_PER_MSEC);
    pa_mainloop_api *api = pa_threaded_mainloop_get_api(m_mainloop);
    pa_time_event *event = api->time_new(
        api, &at,
        [](pa_mainloop_api *, pa_time_event *, const timeval *, void *data) {
            auto *deadline = static_cast<Deadline *>(data);
            deadline->passed = true;
            wakeLoop(deadline->mainloop);
        },
        &deadline);
    bool result = done();
    while (!result && !deadline.passed) {
        pa_threaded_mainloop_wait(m_mainloop);
        result = done();
    }
    api->time_free(event);
    return result;
}

bool PulseConnection::await(pa_operation *operation, int withinMs)
{
    if (!operation)
        return false;
    pa_operation_set_state_callback(
        operation,
        [](pa_operation *, void *mainloop) {
            wakeLoop(static_cast<pa_threaded_mainloop *>(mainloop));
        },
        m_mainloop);
    const bool done =
        waitFor([operation] { return pa_operation_get_state(operation) != PA_OPERATION_RUNNING; },
                withinMs);
    // Its callback must not run once the caller's data is gone.
    if (!done)
        pa_operation_cancel(operation);
    const bool completed = pa_operation_get_state(operation) == PA_OPERATION_DONE;
    pa_operation_set_state_callback(operation, nullptr, nullptr);
    pa_operation_unref(operation);
    return completed;
}

void PulseConnection::dropContext()
{
    if (!m_context)
        return;
    pa_context_set_state_callback(m_context, nullptr, nullptr);
    pa_context_disconnect(m_context);
    pa_context_unref(m_context);
    m_context = nullptr;
}
