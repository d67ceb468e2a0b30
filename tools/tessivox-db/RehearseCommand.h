#pragma once

#include <QTextStream>

class Arguments;

// tessivox-db rehearse DATABASE SUBJECT [--from HH:MM:SS] [--sound-dir DIR]
// [--json]: the run of one subject, played through the program's own
// scheduler against a simulated clock. Exit code 0 when every instruction
// ahead plays, 1 when one would not, 2 for bad input.
class RehearseCommand final
{
public:
    RehearseCommand(QTextStream &out, QTextStream &err) : m_out(out), m_err(err) {}
    Q_DISABLE_COPY_MOVE(RehearseCommand)

    int run(const Arguments &arguments);

private:
    QTextStream &m_out;
    QTextStream &m_err;
};
