#include "data/ServerAddress.h"

#include "data/DbError.h"

#include <QSet>
#include <QSqlDatabase>
#include <QStringList>
#include <QUrl>
#include <QUrlQuery>
#include <libpq-fe.h>

namespace {

// The options the libpq in use knows.
const QSet<QString> &keywords()
{
    static const QSet<QString> known = [] {
        QSet<QString> names;
        PQconninfoOption *options = PQconndefaults();
        for (PQconninfoOption *option = options; option && option->keyword; ++option)
            names.insert(QString::fromLatin1(option->keyword));
        PQconninfoFree(options);
        return names;
    }();
    return known;
}

// Host, port, database and user, from the URI's parts or its query.
struct Parts
{
    QString host;
    int port = -1;
    QString database;
    QString user;
};

Parts partsOf(const QUrl &url)
{
    Parts parts{url.host(), url.port(), url.path().mid(1), url.userName()};
    for (const auto &[key, value] : QUrlQuery(url).queryItems(QUrl::FullyDecoded)) {
        if (key == QLatin1String("host"))
            parts.host = value;
        else if (key == QLatin1String("port"))
            parts.port = value.toInt();
        else if (key == QLatin1String("dbname"))
            parts.database = value;
        else if (key == QLatin1String("user"))
            parts.user = value;
    }
    return parts;
}

// libpq's quoting of a value in its key=value form; the driver joins the
// options with ';', which it turns into blanks, so a ';' cannot pass.
QString quoted(const QString &key, QString value, const QString &uri)
{
    if (value.contains(QLatin1Char(';')))
        throw DbError(QStringLiteral("%1: the option %2 may not contain ';'")
                          .arg(ServerAddress::shown(uri), key));
    value.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    value.replace(QLatin1Char('\''), QStringLiteral("\\'"));
    return key + QStringLiteral("='") + value + QLatin1Char('\'');
}

} // namespace

namespace ServerAddress {

bool isServer(const QString &location)
{
    return location.startsWith(QLatin1String("postgresql://")) ||
           location.startsWith(QLatin1String("postgres://"));
}

void check(const QString &uri)
{
    const QUrl url(uri, QUrl::StrictMode);
    if (!isServer(uri) || !url.isValid())
        throw DbError(QStringLiteral("%1: not a PostgreSQL connection URI (%2)")
                          .arg(shown(uri), url.errorString()));
    for (const auto &[key, value] : QUrlQuery(url).queryItems(QUrl::FullyDecoded)) {
        // The driver writes each option as key='value' into one string that
        // libpq reads again: a name with a blank or '=' would smuggle in
        // options of its own (another database, say).
        if (!keywords().contains(key))
            throw DbError(QStringLiteral("%1: %2 is no option of libpq").arg(shown(uri), key));
        quoted(key, value, uri);
    }
}

void configure(QSqlDatabase &db, const QString &uri)
{
    check(uri);
    const QUrl url(uri, QUrl::StrictMode);
    const Parts parts = partsOf(url);
    db.setHostName(parts.host);
    if (parts.port != -1)
        db.setPort(parts.port);
    db.setDatabaseName(parts.database);
    db.setUserName(parts.user);
    db.setPassword(url.password());
    QStringList options;
    for (const auto &[key, value] : QUrlQuery(url).queryItems(QUrl::FullyDecoded)) {
        if (key != QLatin1String("host") && key != QLatin1String("port") &&
            key != QLatin1String("dbname") && key != QLatin1String("user"))
            options << quoted(key, value, uri);
    }
    db.setConnectOptions(options.join(QLatin1Char(';')));
}

QString origin(const QString &uri)
{
    const Parts parts = partsOf(QUrl(uri));
    return QStringLiteral("%1:%2/%3")
        .arg(parts.host)
        .arg(parts.port == -1 ? 5432 : parts.port)
        .arg(parts.database);
}

QString withNetworkLimits(const QString &uri)
{
    // Without its own limit libpq waits for a silent host as long as the
    // network stack does, minutes; keepalives and tcp_user_timeout find a
    // connection whose server vanished instead of waiting on it for ever.
    QUrl url(uri);
    QUrlQuery query(url);
    const auto add = [&](const QString &key, const QString &value) {
        if (!query.hasQueryItem(key))
            query.addQueryItem(key, value);
    };
    add(QStringLiteral("connect_timeout"), QString::number(ConnectWaitS));
    add(QStringLiteral("keepalives_idle"), QStringLiteral("10"));
    add(QStringLiteral("keepalives_interval"), QStringLiteral("2"));
    add(QStringLiteral("keepalives_count"), QStringLiteral("3"));
    add(QStringLiteral("tcp_user_timeout"), QStringLiteral("5000"));
    url.setQuery(query);
    return url.toString(QUrl::FullyEncoded);
}

QString shown(const QString &uri)
{
    QUrl url(uri);
    if (!url.isValid())
        return uri;
    url.setPassword({});
    QUrlQuery query(url);
    if (query.hasQueryItem(QStringLiteral("password"))) {
        query.removeAllQueryItems(QStringLiteral("password"));
        url.setQuery(query);
    }
    return url.toString(QUrl::FullyEncoded);
}

} // namespace ServerAddress
