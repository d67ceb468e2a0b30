#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariantList>

// A PostgreSQL server of the tests' own: the shared one the CTest fixture
// starts (TESSIVOX_TEST_POSTGRES), or a private one in a temporary folder
// that a test may stop and start again. Failures abort the test program.
class TestServer final
{
public:
    // The shared server.
    TestServer();
    // A private server, started now and removed with the object.
    static std::unique_ptr<TestServer> startPrivate();
    ~TestServer();
    Q_DISABLE_COPY_MOVE(TestServer)

    QString uri(const QString &database) const;
    // The cluster's folder, where postmaster.pid lies.
    QString dataFolder() const { return m_socketFolder + QStringLiteral("/cluster"); }
    // Stops the private server, which keeps its data, and starts it again.
    // kill() stops it as a power cut would, without a word to its clients.
    void stop();
    void kill();
    void start();

private:
    explicit TestServer(std::unique_ptr<QTemporaryDir> privateDir);
    void control(const QString &action, const QString &mode = QStringLiteral("fast"));

    QString m_socketFolder;
    std::unique_ptr<QTemporaryDir> m_private;
};

// A fresh database on a test server, dropped with the object.
class ServerDatabase final
{
public:
    explicit ServerDatabase(const TestServer &server);
    ~ServerDatabase();
    Q_DISABLE_COPY_MOVE(ServerDatabase)

    QString uri() const { return m_uri; }
    void exec(const QString &sql, const QVariantList &values = {});
    // The rows of a query, each column as text; an empty list when it fails.
    QList<QStringList> rows(const QString &sql, const QVariantList &values = {});

private:
    const TestServer &m_server;
    QString m_name;
    QString m_uri;
};
