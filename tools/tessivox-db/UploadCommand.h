#pragma once

#include <QTextStream>

class Arguments;

// tessivox-db upload URI [--sound-dir DIR]: stores on the centre's server
// every recording its schedule names that the server lacks or holds with
// other content, from the sound folder. Exit code 0 when the server then
// holds every named file, 1 when one was found nowhere, 2 for bad input or
// a server that cannot be read or written.
class UploadCommand final
{
public:
    UploadCommand(QTextStream &out, QTextStream &err) : m_out(out), m_err(err) {}
    Q_DISABLE_COPY_MOVE(UploadCommand)

    int run(const Arguments &arguments);

private:
    QTextStream &m_out;
    QTextStream &m_err;
};
