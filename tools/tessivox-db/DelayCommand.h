#pragma once

#include <QTextStream>

class Arguments;

// tessivox-db delay URI SUBJECT MINUTES: puts an exam back (or brings it
// forward, MINUTES negative) by the server's clock, in one transaction: the
// subject's end, its start while still ahead, and every instruction more
// than LeadS ahead. Prints what it moved. Exit code 0 when done, 1 for a
// subject the server does not have, 2 for bad input.
class DelayCommand final
{
public:
    DelayCommand(QTextStream &out, QTextStream &err) : m_out(out), m_err(err) {}
    Q_DISABLE_COPY_MOVE(DelayCommand)

    // An instruction this close to its second may already be prepared in
    // the rooms: it stays.
    static constexpr int LeadS = 5;

    int run(const Arguments &arguments);

private:
    int fail(const QString &text, int code);

    QTextStream &m_out;
    QTextStream &m_err;
};
