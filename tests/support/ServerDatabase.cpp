#include "ServerDatabase.h"

#include "data/ServerLink.h"
#include "data/Session.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QUuid>
#include <unistd.h>

namespace {

QString scripts()
{
    return QStringLiteral(TESSIVOX_TEST_SOURCE_DIR "/db/");
}

void runScript(const QString &script, const QStringList &arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(script, arguments);
    if (!process.waitForFinished(120'000) || process.exitCode() != 0)
        qFatal("%s %s failed", qPrintable(script), qPrintable(arguments.join(' ')));
}

QString pgCtl()
{
    const QStringList versions =
        QDir(QStringLiteral("/usr/lib/postgresql")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    if (versions.isEmpty())
        qFatal("no PostgreSQL server installed");
    return QStringLiteral("/usr/lib/postgresql/%1/bin/pg_ctl").arg(versions.last());
}

// Runs work on a connection of its own to the database at uri.
void onServer(const QString &uri, const std::function<void(const QSqlDatabase &)> &work)
{
    ServerLink(uri).run([&](Session &session) { work(session.db()); }, std::chrono::minutes(1));
}

void execute(const QSqlDatabase &db, const QString &sql)
{
    QSqlQuery query(db);
    if (!query.exec(sql))
        qFatal("%s: %s", qPrintable(sql), qPrintable(query.lastError().text()));
}

} // namespace

TestServer::TestServer() : m_socketFolder(qEnvironmentVariable("TESSIVOX_TEST_POSTGRES"))
{
    if (m_socketFolder.isEmpty())
        qFatal("TESSIVOX_TEST_POSTGRES names no test server");
}

TestServer::TestServer(std::unique_ptr<QTemporaryDir> privateDir)
    : m_socketFolder(privateDir->path()), m_private(std::move(privateDir))
{
    runScript(scripts() + QStringLiteral("start-postgres"), {m_socketFolder});
}

std::unique_ptr<TestServer> TestServer::startPrivate()
{
    // In /tmp: a socket's path must be short, and the server's user must
    // reach the folder.
    auto dir = std::make_unique<QTemporaryDir>(QStringLiteral("/tmp/tvx-XXXXXX"));
    if (!dir->isValid())
        qFatal("no temporary folder");
    return std::unique_ptr<TestServer>(new TestServer(std::move(dir)));
}

TestServer::~TestServer()
{
    if (m_private)
        runScript(scripts() + QStringLiteral("stop-postgres"), {m_socketFolder});
}

QString TestServer::uri(const QString &database) const
{
    return QStringLiteral("postgresql:///%1?host=%2&port=5432&user=postgres")
        .arg(database, m_socketFolder);
}

void TestServer::stop()
{
    control(QStringLiteral("stop"));
}

void TestServer::kill()
{
    control(QStringLiteral("stop"), QStringLiteral("immediate"));
}

void TestServer::start()
{
    control(QStringLiteral("start"));
}

void TestServer::control(const QString &action, const QString &mode)
{
    if (!m_private)
        qFatal("only a private test server may be stopped");
    QStringList command{pgCtl(),
                        QStringLiteral("-D"),
                        m_socketFolder + QStringLiteral("/cluster"),
                        QStringLiteral("-l"),
                        m_socketFolder + QStringLiteral("/log"),
                        QStringLiteral("-w"),
                        QStringLiteral("-m"),
                        mode,
                        QStringLiteral("-o"),
                        QStringLiteral("-k %1 -p 5432 -c listen_addresses=''").arg(m_socketFolder),
                        action};
    if (getuid() == 0)
        command =
            QStringList{QStringLiteral("-u"), QStringLiteral("postgres"), QStringLiteral("--")} +
            command;
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.setStandardOutputFile(QProcess::nullDevice());
    process.start(getuid() == 0 ? QStringLiteral("runuser") : command.takeFirst(), command);
    if (!process.waitForFinished(60'000) || process.exitCode() != 0)
        qFatal("pg_ctl %s failed", qPrintable(action));
}

ServerDatabase::ServerDatabase(const TestServer &server)
    : m_server(server),
      m_name(QStringLiteral("t_") + QUuid::createUuid().toString(QUuid::Id128).left(16))
{
    onServer(server.uri(QStringLiteral("postgres")), [&](const QSqlDatabase &db) {
        execute(db, QStringLiteral("CREATE DATABASE ") + m_name);
    });
    m_uri = server.uri(m_name);
}

ServerDatabase::~ServerDatabase()
{
    try {
        onServer(m_server.uri(QStringLiteral("postgres")), [&](const QSqlDatabase &db) {
            execute(db, QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(m_name));
        });
    } catch (const std::exception &error) {
        qWarning("cannot drop the test database %s: %s", qPrintable(m_name), error.what());
    }
}

void ServerDatabase::exec(const QString &sql, const QVariantList &values)
{
    onServer(m_uri, [&](const QSqlDatabase &db) {
        QSqlQuery query(db);
        // The server cannot prepare every statement (DROP, CREATE, ...).
        if (!values.isEmpty()) {
            query.prepare(sql);
            for (const QVariant &value : values)
                query.addBindValue(value);
        }
        if (!(values.isEmpty() ? query.exec(sql) : query.exec()))
            qFatal("%s: %s", qPrintable(sql), qPrintable(query.lastError().text()));
    });
}

QList<QStringList> ServerDatabase::rows(const QString &sql, const QVariantList &values)
{
    QList<QStringList> result;
    try {
        onServer(m_uri, [&](const QSqlDatabase &db) {
            QSqlQuery query(db);
            query.prepare(sql);
            for (const QVariant &value : values)
                query.addBindValue(value);
            if (!query.exec())
                return;
            while (query.next()) {
                QStringList row;
                for (int i = 0; i < query.record().count(); ++i)
                    row << query.value(i).toString();
                result << row;
            }
        });
    } catch (const std::exception &) {
    }
    return result;
}
