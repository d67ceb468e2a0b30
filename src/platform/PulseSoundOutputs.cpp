#include "platform/PulseSoundOutputs.h"

#include "platform/PulseConnection.h"

#include <mutex>
#include <pulse/introspect.h>

int PulseSoundOutputs::count() const
{
    PulseConnection connection;
    std::lock_guard lock(connection);
    if (!connection.connect().isEmpty())
        return 0;
    int sinks = 0;
    const bool listed = connection.await(pa_context_get_sink_info_list(
        connection.context(),
        [](pa_context *, const pa_sink_info *, int last, void *sinks) {
            if (!last)
                ++*static_cast<int *>(sinks);
        },
        &sinks));
    return listed ? sinks : 0;
}
