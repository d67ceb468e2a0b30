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

    enum class Access
    {
        ReadWrite,
        // Nothing can be written, and no journal or file is ever created.
        ReadOnly
    };

    explicit TDataModule1(QString path = DefaultPath, Access access = Access::ReadWrite);
    ~TDataModule1();
    Q_DISABLE_COPY_MOVE(TDataModule1)

    const QString &path() const { return m_path; }
    bool isConnected() const;

    // Opens the connection if needed. A missing file or one that is not a
    // database throws DbError with the engine's text; nothing is created.
    QSqlDatabase connection();

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
    QString m_path;
    Access m_access;
    QString m_connectionName;
};
