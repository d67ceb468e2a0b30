#pragma once

#include <QTextStream>

class Arguments;

// tessivox-db status URI [--watch SECONDS] [--json]: every room the centre's
// server knows, one line each, rooms with a problem first. Exit code 0 when
// every room is well, 1 when one is not, 2 for bad input or a server that
// cannot be read. Below the rooms, today's announcements and what the rooms
// said of them. --watch redraws the table every SECONDS until interrupted.
class StatusCommand final
{
public:
    StatusCommand(QTextStream &out, QTextStream &err) : m_out(out), m_err(err) {}
    Q_DISABLE_COPY_MOVE(StatusCommand)

    int run(const Arguments &arguments);

private:
    QTextStream &m_out;
    QTextStream &m_err;
};
