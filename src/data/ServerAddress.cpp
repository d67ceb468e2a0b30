#include "data/ServerAddress.h"

#include "data/DbError.h"

#include <QSqlDatabase>
#include <QStringList>
#include <QUrl>
#include <QUrlQuery>

namespace {

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

void configure(QSqlDatabase &db, const QString &uri)
{
    const QUrl url(uri, QUrl::StrictMode);
    if (!isServer(uri) || !url.isValid())
        throw DbError(QStringLiteral("%1: not a PostgreSQL connection URI (%2)")
                          .arg(shown(uri), url.errorString()));
    db.setHostName(url.host());
    if (url.port() != -1)
        db.setPort(url.port());
    db.setDatabaseName(url.path().mid(1));
    db.setUserName(url.userName());
    db.setPassword(url.password());
    QStringList options;
    for (const auto &[key, value] : QUrlQuery(url).queryItems(QUrl::FullyDecoded)) {
        if (key == QLatin1String("host"))
            db.setHostName(value);
        else if (key == QLatin1String("port"))
            db.setPort(value.toInt());
        else if (key == QLatin1String("dbname"))
            db.setDatabaseName(value);
        else if (key == QLatin1String("user"))
            db.setUserName(value);
        else
            options << quoted(key, value, uri);
    }
    db.setConnectOptions(options.join(QLatin1Char(';')));
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
