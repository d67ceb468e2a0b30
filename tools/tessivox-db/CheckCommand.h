#pragma once

#include "platform/ClockHealth.h"

#include <QTextStream>
#include <optional>

class Arguments;

// tessivox-db check DATABASE [--subject NAME] [--sound-dir DIR] [--json]:
// what the run will make of every subject (or one), found without running
// it, and whether the computer's clock is kept right (when clockHealth is
// given). Exit code 0 without errors, 1 with one, 2 for a database it cannot
// read.
class CheckCommand final
{
public:
    CheckCommand(QTextStream &out, QTextStream &err, const ClockHealth *clockHealth)
        : m_out(out), m_err(err), m_clockHealth(clockHealth)
    {}
    Q_DISABLE_COPY_MOVE(CheckCommand)

    int run(const Arguments &arguments);

private:
    // Waits for the answer, which the service gives or gives up within
    // seconds.
    std::optional<ClockHealth::Reading> readClock() const;

    QTextStream &m_out;
    QTextStream &m_err;
    const ClockHealth *m_clockHealth;
};
