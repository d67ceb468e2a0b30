#pragma once

#include <QTextStream>

// The commands that set up a centre's server for the exam office.
class OfficeCommands final
{
public:
    OfficeCommands(QTextStream &out, QTextStream &err) : m_out(out), m_err(err) {}
    Q_DISABLE_COPY_MOVE(OfficeCommands)

    // create URI: the schedule's and the office's tables in an empty database.
    int create(const QString &uri);
    // upgrade URI: the office's tables added to a database that has only the
    // schedule's, nothing else touched.
    int upgrade(const QString &uri);
    int grants();

private:
    int fail(const QString &text);

    QTextStream &m_out;
    QTextStream &m_err;
};
