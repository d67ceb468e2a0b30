#pragma once

#include "data/Query.h"

#include <QString>
#include <functional>

class QSqlDatabase;

// The one database connection and the fourteen query objects every window
// goes through. The connection is configured here but opened only by the
// first statement, and stays open until the module is destroyed.
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

    explicit TDataModule1(QString path = DefaultPath, Mode mode = Mode::ReadWrite);
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

    const QString &path() const { return m_path; }
    bool isConnected() const;

    // Opens the connection if needed and sets how long the next statement
    // may wait. A missing file or one that is not a database throws DbError
    // with the engine's text; nothing is created.
    QSqlDatabase connection(Access access = Access::Read);

    // Runs work in one transaction: commits when it returns, rolls back and
    // rethrows when it throws, so no half-done change stays.
    void transaction(const std::function<void()> &work);

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

    QString m_path;
    Mode m_mode;
    QString m_connectionName;
    int m_waitMs = 0;
    bool m_inTransaction = false;
};
