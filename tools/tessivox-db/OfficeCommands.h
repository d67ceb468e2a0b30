#pragma once

#include <QTextStream>

// The commands that set up a centre's server for the exam office.
class OfficeCommands final
{
public:
    OfficeCommands(QTextStream &out, QTextStream &err) : m_out(out), m_err(err) {}
    Q_DISABLE_COPY_MOVE(OfficeCommands)

    // upgrade URI: the office's tables and the notice of schedule changes
    // added to a database that lacks them, nothing else touched.
    int upgrade(const QString &uri);
    int grants();

private:
    int fail(const QString &text);

    QTextStream &m_out;
    QTextStream &m_err;
};
