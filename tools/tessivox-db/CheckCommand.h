#pragma once

#include <QTextStream>

class Arguments;

// tessivox-db check DATABASE [--subject NAME] [--sound-dir DIR] [--json]:
// what the run will make of every subject (or one), found without running
// it. Exit code 0 without errors, 1 with one, 2 for a database it cannot read.
class CheckCommand final
{
public:
    CheckCommand(QTextStream &out, QTextStream &err) : m_out(out), m_err(err) {}
    Q_DISABLE_COPY_MOVE(CheckCommand)

    int run(const Arguments &arguments);

private:
    QTextStream &m_out;
    QTextStream &m_err;
};
