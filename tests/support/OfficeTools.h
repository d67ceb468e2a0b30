#pragma once

#include <QString>
#include <QStringList>

class ServerDatabase;

// tessivox-db as the office runs it, from the tests' build.
struct Tool
{
    int code = -1;
    QString out;
    QString err;
};
Tool tessivoxDb(const QStringList &arguments);

// The first row of a query on db, its columns joined by blanks.
QString firstRow(ServerDatabase &db, const QString &sql);

// The roles tessivox-db grants prints, applied to db under names of the
// test's own (roles belong to the whole server), with room logins in them;
// all dropped with the object.
class CentreRoles final
{
public:
    explicit CentreRoles(ServerDatabase &db);
    ~CentreRoles();
    Q_DISABLE_COPY_MOVE(CentreRoles)

    // Runs the grants again, as a centre does after adding rooms.
    void apply();
    // A login of the rooms' role, its name the room's; returns the name.
    QString addRoom(const QString &suffix);
    // db's URI with that login.
    QString uriAs(const QString &login) const;
    // The role every room is in.
    QString roomRole() const { return m_prefix + QStringLiteral("room"); }

private:
    ServerDatabase &m_db;
    QString m_prefix;
    QStringList m_logins;
};
