#pragma once

#include <QString>
#include <functional>

// Whether the computer's clock is kept right by a time source, as far as the
// system's time service can tell. An exam is played by this clock: one that
// is minutes off plays every instruction minutes off, and nobody notices.
class ClockHealth
{
public:
    enum class Sync
    {
        Synchronised,
        NotSynchronised,
        // The service did not answer, or there is none to ask.
        Unknown
    };

    struct Reading
    {
        Sync sync = Sync::Unknown;
        // Whether automatic synchronisation is switched on.
        bool automatic = false;
        // Why nothing is known, for whoever looks into it.
        QString why;

        // One line for the run log and tessivox-db, in English like them.
        QString text() const;
    };
    using Done = std::function<void(const Reading &)>;

    virtual ~ClockHealth() = default;
    // Never waits for the service: done runs exactly once, from the event
    // loop once the service has answered or given up, or before this returns
    // where the answer is known at once.
    virtual void read(Done done) const = 0;
};
