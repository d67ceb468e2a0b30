#pragma once

#include "data/Dialect.h"
#include "data/Query.h"

#include <QString>
#include <functional>
#include <memory>

class LocalCopy;
class QSqlDatabase;

// The one database connection and the fourteen query objects every window
// goes through. The connection is configured here but opened only by the
// first statement, and stays open until the module is destroyed.
//
// The database is a file or a server (a libpq URI). A server's schedule is
// also kept in a local copy beside the run log, which the main window's and
// the run's loads read when the server cannot be reached; everything else
// needs the server.
class TDataModule1 final
{
public:
    // The default data source, relative to the working directory.
    static constexpr auto DefaultPath = "./data/asdf.mdb";

    enum class Mode
    {
        ReadWrite,
        // Nothing can be written, and no journal or file is ever created.
        ReadOnly
    };

    // dataFolder: where a server's local copy and the run log are kept
    // (default ./data); a file's are beside it.
    explicit TDataModule1(QString location = DefaultPath, Mode mode = Mode::ReadWrite,
                          const QString &dataFolder = QStringLiteral("./data"));
    ~TDataModule1();
    Q_DISABLE_COPY_MOVE(TDataModule1)

    // What a statement does, which decides how long it may wait for a lock
    // another program holds: a read blocks the windows and so gives up
    // almost at once; a write may wait a moment for another writer.
    enum class Access
    {
        Read,
        Write
    };
    static constexpr int ReadWaitMs = 250;
    static constexpr int WriteWaitMs = 1000;
    // libpq counts its wait for a connection in whole seconds, two at least.
    static constexpr int ConnectWaitS = 2;

    // The URI with the limits every connection to a centre's server keeps
    // (its wait for a connection, keepalives, tcp_user_timeout).
    static QString withNetworkLimits(const QString &uri);

    // The file path or the server's URI, as given.
    const QString &path() const { return m_path; }
    // The folder of this PC's own files: the database file's, or ./data for
    // a server (absolute, as at creation).
    const QString &dataFolder() const { return m_dataFolder; }
    bool isConnected() const;
    // The server's process serving this module's connection (0 when none):
    // a notice of a change that names it is this module's own.
    qint64 serverProcess() const { return m_serverProcess; }

    // Opens the connection if needed and sets how long the next statement
    // may wait. A missing file or one that is not a database throws DbError
    // with the engine's text; nothing is created.
    QSqlDatabase connection(Access access = Access::Read);
    // Forgets a connection that broke; the next statement opens a new one.
    void disconnect();

    // Runs work in one transaction: commits when it returns, rolls back and
    // rethrows when it throws, so no half-done change stays.
    void transaction(const std::function<void()> &work);
    bool inTransaction() const { return m_inTransaction; }

    // The main window's or a run's load, for as long as it lives: a server
    // that could not be reached is tried again, and while the load lasts an
    // unreachable server is replaced by the local copy.
    class Load final
    {
    public:
        explicit Load(TDataModule1 &module);
        ~Load();
        Q_DISABLE_COPY_MOVE(Load)
        // The load read everything: the local copy is brought up to date.
        void finished();

    private:
        TDataModule1 &m_module;
    };
    // Once after the loads turned to the local copy: what the user is told.
    QString takeNotice();
    // Waits until the local copy being written, if any, is in place.
    void waitForLocalCopy();
    // Where the local copy of a server's schedule is kept; empty for a file.
    QString localCopyPath() const;

    Query ADOQuery1{*this};
    Query ADOQuery2{*this};
    Query ADOQuery3{*this};
    Query ADOQuery4{*this};
    Query ADOQuery5{*this};
    Query ADOQuery6{*this};
    Query ADOQuery7{*this};
    Query ADOQuery8{*this};
    Query ADOQuery9{*this};
    Query ADOQuery10{*this};
    Query ADOQuery11{*this};
    Query ADOQuery12{*this};
    Query ADOQuery13{*this};
    Query ADOQuery14{*this};

private:
    QSqlDatabase open();
    void openServer(QSqlDatabase &db);
    void openFile(QSqlDatabase &db, const QString &file, Mode mode);
    // Closes the connection and makes the next open one of the engine given.
    void reset(Dialect::Engine engine);

    QString m_path;
    Mode m_mode;
    Dialect::Engine m_engine;
    QString m_dataFolder;
    QString m_connectionName;
    int m_waitMs = 0;
    qint64 m_serverProcess = 0;
    bool m_inTransaction = false;
    bool m_loading = false;
    bool m_onCopy = false;
    bool m_copyNoticeGiven = false;
    QString m_notice;
    std::unique_ptr<LocalCopy> m_copy;
};
