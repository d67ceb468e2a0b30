#pragma once

#include <QTextStream>

class Arguments;

// tessivox-db import FILE [TARGET] [--dry-run] [--replace] [--sound-dir DIR]:
// brings the schedule of an Access file into a Tessivox database (a file,
// new or not, or a centre's server) in one transaction, and reports it.
// TARGET defaults to ./data/asdf.mdb; when it is FILE itself, the Access
// file is kept beside it and a Tessivox database takes its place. Exit code
// 0 every row taken, 1 rows left out (each listed), 2 nothing written.
class ImportCommand final
{
public:
    ImportCommand(QTextStream &out, QTextStream &err) : m_out(out), m_err(err) {}
    Q_DISABLE_COPY_MOVE(ImportCommand)

    int run(const Arguments &arguments);

private:
    QTextStream &m_out;
    QTextStream &m_err;
};
