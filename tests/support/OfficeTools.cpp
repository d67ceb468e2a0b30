#include "support/OfficeTools.h"

#include "support/ServerDatabase.h"

#include <QDateTime>
#include <QProcess>

Tool tessivoxDb(const QStringList &arguments)
{
    QProcess process;
    process.start(qEnvironmentVariable("TESSIVOX_TEST_TOOLS") + QStringLiteral("/tessivox-db"),
                  arguments);
    process.waitForFinished(60'000);
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

QString firstRow(ServerDatabase &db, const QString &sql)
{
    const QList<QStringList> rows = db.rows(sql);
    return rows.isEmpty() ? QString() : rows.first().join(QLatin1Char(' '));
}

CentreRoles::CentreRoles(ServerDatabase &db)
    : m_db(db), m_prefix(QStringLiteral("tvx_%1_").arg(QDateTime::currentMSecsSinceEpoch()))
{
    apply();
}

CentreRoles::~CentreRoles()
{
    for (const QString &role : m_logins + QStringList{roomRole(), m_prefix + "admin"})
        m_db.exec(QStringLiteral("DROP OWNED BY %1; DROP ROLE %1").arg(role));
}

void CentreRoles::apply()
{
    // As psql would run it: one script, its DO blocks whole.
    m_db.exec(
        tessivoxDb({QStringLiteral("grants")}).out.replace(QStringLiteral("tessivox_"), m_prefix));
}

QString CentreRoles::addRoom(const QString &suffix)
{
    const QString login = m_prefix + suffix;
    m_db.exec(QStringLiteral("CREATE USER %1 IN ROLE %2").arg(login, roomRole()));
    m_logins << login;
    return login;
}

QString CentreRoles::uriAs(const QString &login) const
{
    return QString(m_db.uri())
        .replace(QStringLiteral("user=postgres"), QStringLiteral("user=") + login);
}
