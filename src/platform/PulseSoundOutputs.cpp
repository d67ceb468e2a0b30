#include "platform/PulseSoundOutputs.h"

#include "platform/PulseConnection.h"

#include <QElapsedTimer>
#include <algorithm>
#include <mutex>
#include <pulse/introspect.h>

namespace {

// The count is asked on the user-interface thread as a run starts: the
// connection and the list together stay under a quarter of a second, and a
// server that has not answered both by then (a stalled one) has no output
// to give.
constexpr int AnswerWithinMs = 240;

} // namespace

int PulseSoundOutputs::count() const
{
    QElapsedTimer elapsed;
    elapsed.start();
    PulseConnection connection(AnswerWithinMs);
    std::lock_guard lock(connection);
    if (!connection.connect().isEmpty())
        return 0;
    int sinks = 0;
    const bool listed =
        connection.await(pa_context_get_sink_info_list(
                             connection.context(),
                             [](pa_context *, const pa_sink_info *, int last, void *sinks) {
                                 if (!last)
                                     ++*static_cast<int *>(sinks);
                             },
                             &sinks),
                         int(std::max<qint64>(AnswerWithinMs - elapsed.elapsed(), 1)));
    return listed ? sinks : 0;
}
