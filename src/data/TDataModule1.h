#pragma once

#include "data/Dialect.h"
#include "data/Query.h"

#include <QString>
#include <chrono>
#include <functional>
#include <memory>

class ServerLink;
class Session;

// The one database connection and the fourteen query objects every window
// goes through. The connection is configured here but opened only by the
// first statement, and stays open until the module is destroyed.
//
// The database is a file or a server (a libpq URI). A file is read on the
// caller's thread; a server's statements run on its link's thread, and the
// caller waits for them at most a deadline.
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

    // dataFolder: where this PC's files for a server (its local copy, the
    // run log) are kept (default ./data); a file's are beside it. link: the server's link when
    // another part of the program shares it (the room's reporter); without
    // one the module makes its own.
    explicit TDataModule1(QString location = DefaultPath, Mode mode = Mode::ReadWrite,
                          const QString &dataFolder = QStringLiteral("./data"),
                          ServerLink *link = nullptr);
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
    // How long a caller waits for the server at all: a read, then a write or
    // a transaction, a little more than its wait for a lock.
    static constexpr std::chrono::milliseconds ReadDeadline{1500};
    static constexpr std::chrono::milliseconds WriteDeadline{3000};

    // For a tool whose user waits for a large write (an import): every
    // statement and transaction on the server may take up to deadline
    // instead of the windows' short waits.
    void setDeadline(std::chrono::milliseconds deadline) { m_deadline = deadline; }

    // The file path or the server's URI, as given.
    const QString &path() const { return m_path; }
    // The folder of this PC's own files: the database file's, or ./data for
    // a server (absolute, as at creation).
    const QString &dataFolder() const { return m_dataFolder; }
    bool isConnected() const;
    // The server's link; null for a file.
    ServerLink *link() const { return m_link; }
    // The server's process serving this module's connection (0 when none):
    // a notice of a change that names it is this module's own.
    qint64 serverProcess() const;

    // Runs work on the connection, opened if needed, after setting how long
    // its statements may wait; a read on a connection that broke since the
    // last statement is tried once more on a new one. A missing file or one
    // that is not a database throws DbError with the engine's text; nothing
    // is created. Inside transaction(), work runs on the transaction's
    // connection.
    void use(Access access, const std::function<void(Session &)> &work);

    // Runs work in one transaction, opened with the statements begin (those
    // of the tables it writes): commits when it returns, rolls back and
    // rethrows when it throws, so no half-done change stays.
    void transaction(const QStringList &begin, const std::function<void()> &work);
    bool inTransaction() const { return m_inTransaction; }

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
    void onServer(Access access, const std::function<void(Session &)> &job);
    Session &fileSession();

    QString m_path;
    Mode m_mode;
    Dialect::Engine m_engine;
    QString m_dataFolder;
    QString m_connectionName;
    std::unique_ptr<ServerLink> m_ownLink;
    ServerLink *m_link = nullptr;
    std::unique_ptr<Session> m_file;
    // The transaction's connection while its work runs.
    Session *m_jobSession = nullptr;
    bool m_inTransaction = false;
    // Zero: the windows' deadlines, ReadDeadline and WriteDeadline.
    std::chrono::milliseconds m_deadline{0};
};
