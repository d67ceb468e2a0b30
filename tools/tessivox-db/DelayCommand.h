#pragma once

#include <QTextStream>

class Arguments;

// tessivox-db delay URI SUBJECT MINUTES: ExamDelay from the command line;
// prints what moved. Exit code 0 when done, 1 for a subject the server does
// not have, 2 for bad input.
class DelayCommand final
{
public:
    DelayCommand(QTextStream &out, QTextStream &err) : m_out(out), m_err(err) {}
    Q_DISABLE_COPY_MOVE(DelayCommand)

    int run(const Arguments &arguments);

private:
    int fail(const QString &text, int code);

    QTextStream &m_out;
    QTextStream &m_err;
};
