#pragma once

#include <QSqlDatabase>
#include <QString>
#include <functional>

// A connection of its own to the centre's server, for one thread: the
// reporter's worker, the status command, the board. Removed with the object.
class ServerConnection final
{
public:
    // Nothing is contacted until open().
    explicit ServerConnection(const QString &uri);
    ~ServerConnection();
    Q_DISABLE_COPY_MOVE(ServerConnection)

    // The open connection, opened if needed. Throws DbError with the server's
    // text, after at most ConnectTimeoutS when the URI sets no timeout.
    QSqlDatabase open();
    void close();

    static constexpr int ConnectTimeoutS = 5;

    // A statement the server cannot prepare (BEGIN, CREATE, ...), without
    // values. Throws DbError.
    static void execute(const QSqlDatabase &db, const QString &sql);
    // Runs work in one transaction: committed when it returns, rolled back
    // when it throws. Throws DbError.
    static void transaction(QSqlDatabase db, const std::function<void()> &work);

private:
    QString m_uri;
    QString m_name;
};
