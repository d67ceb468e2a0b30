#include "platform/PulseConnection.h"

#include "platform/ThreadPriority.h"

#include <QCoreApplication>
#include <pulse/context.h>
#include <pulse/error.h>
#include <pulse/mainloop-api.h>
#include <pulse/operation.h>
#include <pulse/rtclock.h>
#include <pulse/thread-mainloop.h>
#include <pulse/timeval.h>

namespace {

// A local server answers within milliseconds; one that does not answer in
// this time is as good as none, and the caller (a play tick on the UI
// thread) must not hang on it.
constexpr pa_usec_t ReplyTimeoutUs = 2 * PA_USEC_PER_SEC;

void wakeLoop(pa_threaded_mainloop *mainloop)
{
    pa_threaded_mainloop_signal(mainloop, 0);
}

} // namespace

PulseConnection::PulseConnection() : m_mainloop(pa_threaded_mainloop_new())
{
    pa_threaded_mainloop_set_name(m_mainloop, "sound server");
    pa_threaded_mainloop_start(m_mainloop);
    // The thread writes a sound's first data; refused, it goes on as it is.
    lock();
    pa_mainloop_api_once(
        pa_threaded_mainloop_get_api(m_mainloop),
        [](pa_mainloop_api *, void *) { ThreadPriority::raiseCurrent(); }, nullptr);
    unlock();
}

PulseConnection::~PulseConnection()
{
    lock();
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
    // A failed or terminated context cannot connect again; a new one also
    // reads the server's address afresh.
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
    const auto settled = [this] {
        const pa_context_state_t state = pa_context_get_state(m_context);
        return state == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(state);
    };
    if (!waitFor(settled))
        return QStringLiteral("No sound server: it did not answer");
    if (pa_context_get_state(m_context) != PA_CONTEXT_READY)
        return QStringLiteral("No sound server: %1").arg(lastError());
    return {};
}

QString PulseConnection::lastError() const
{
    return QString::fromUtf8(pa_strerror(pa_context_errno(m_context)));
}

bool PulseConnection::waitFor(const std::function<bool()> &done)
{
    struct Deadline
    {
        pa_threaded_mainloop *mainloop;
        bool passed = false;
    } deadline{m_mainloop};
    pa_time_event *event = pa_context_rttime_new(
        m_context, pa_rtclock_now() + ReplyTimeoutUs,
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
    pa_threaded_mainloop_get_api(m_mainloop)->time_free(event);
    return result;
}

bool PulseConnection::await(pa_operation *operation)
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
        waitFor([operation] { return pa_operation_get_state(operation) != PA_OPERATION_RUNNING; });
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
