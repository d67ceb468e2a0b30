#pragma once

#include "data/Dialect.h"
#include "data/Query.h"

#include <QString>
#include <chrono>
#include <functional>
#include <memory>

class LocalCopy;
class ServerLink;
class Session;

// The one database connection and the fourteen query objects every window
// goes through. The connection is configured here but opened only by the
// first statement, and stays open until the module is destroyed.
//
// The database is a file or a server (a libpq URI). A file is read on the
// caller's thread; a server's statements run on its link's thread, and the
// caller waits for them at most a deadline. A server's schedule is also kept
// in a local copy beside the run log, which the main window's and the run's
// loads read when the server cannot be reached, does not answer or takes no
// more connections; everything else needs the server.
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
    // (default ./data); a file's are beside it. link: the server's link when
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
        // The server failed the load's reading, made off the caller's
        // thread: when the local copy may stand in (the server away, silent
        // or full, and a copy there), the load's reads read it from now on.
        // False when it may not: the failure stands.
        bool standIn(DbError::Kind why);

    private:
        TDataModule1 &m_module;
    };
    // Once after the loads turned to the local copy: what the user is told.
    QString takeNotice();
    // The last load read the local copy.
    bool readFromCopy() const { return m_onCopy; }
    // Waits until the local copy being written, if any, is in place.
    void waitForLocalCopy();
    // Where the local copy of a server's schedule is kept; empty for a file.
    QString localCopyPath() const;
    // The local copy of a server's schedule; null for a file.
    LocalCopy *localCopy() const { return m_copy.get(); }

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
    // The file's connection, or the local copy's while the loads read it.
    Session &fileSession();
    void turnToCopy(DbError::Kind why);

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
    bool m_loading = false;
    bool m_onCopy = false;
    bool m_copyNoticeGiven = false;
    QString m_notice;
    std::unique_ptr<LocalCopy> m_copy;
};
