#pragma once

#include <QTextStream>

class Arguments;

// tessivox-db announce URI FILE --at HH:MM:SS [--rooms A,B] [--text TEXT]:
// the office speaks to the rooms (Announcements::publish). Exit code 0 when
// the announcement is on the server, 2 for bad input or a server that
// refused or did not answer.
class AnnounceCommand final
{
public:
    AnnounceCommand(QTextStream &out, QTextStream &err) : m_out(out), m_err(err) {}
    Q_DISABLE_COPY_MOVE(AnnounceCommand)

    int run(const Arguments &arguments);

private:
    QTextStream &m_out;
    QTextStream &m_err;
};
