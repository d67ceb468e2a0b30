#include "platform/Settings.h"

#include <QFileInfo>
#include <QSettings>
#include <QSysInfo>
#include <QUrl>
#include <QUrlQuery>

namespace {

// QSettings reads an unquoted comma as a list separator; a room named
// "Room 1, north" is still one name.
QString text(const QSettings &ini, const QString &key)
{
    return ini.value(key).toStringList().join(QStringLiteral(", ")).trimmed();
}

// The server the [database] section names, as a libpq URI. A host that is a
// folder is a Unix socket and so goes into the query, where libpq takes it;
// the authority's "//" stays even when empty, as libpq requires.
QString serverUri(const QSettings &ini, QStringList &problems)
{
    const auto encoded = [](const QString &part) {
        return QString::fromLatin1(QUrl::toPercentEncoding(part));
    };
    QUrlQuery query;
    const QString host = text(ini, QStringLiteral("database/host"));
    const bool socket = host.startsWith(QLatin1Char('/'));
    // An IPv6 address (a host name has no ':') goes into brackets, as a
    // URI writes it; percent-encoded it would be no valid host.
    const bool ipv6 = host.contains(QLatin1Char(':')) && !host.startsWith(QLatin1Char('['));
    QString authority = socket ? QString()
                        : ipv6 ? QLatin1Char('[') + host + QLatin1Char(']')
                               : encoded(host);
    if (socket)
        query.addQueryItem(QStringLiteral("host"), host);
    const QString port = text(ini, QStringLiteral("database/port"));
    if (!port.isEmpty()) {
        bool ok = false;
        const int number = port.toInt(&ok);
        if (!ok || number <= 0 || number > 65535)
            problems << QStringLiteral("[database] port: \"%1\" is no port number").arg(port);
        else if (socket)
            query.addQueryItem(QStringLiteral("port"), port);
        else
            authority += QLatin1Char(':') + port;
    }
    if (const QString user = text(ini, QStringLiteral("database/user")); !user.isEmpty())
        authority.prepend(encoded(user) + QLatin1Char('@'));
    for (const QString &option : text(ini, QStringLiteral("database/options"))
                                     .split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const qsizetype equals = option.indexOf(QLatin1Char('='));
        if (equals <= 0)
            problems
                << QStringLiteral("[database] options: \"%1\" is no keyword=value").arg(option);
        else
            query.addQueryItem(option.left(equals), option.mid(equals + 1));
    }
    const QString rest =
        query.isEmpty() ? QString() : QLatin1Char('?') + query.toString(QUrl::FullyEncoded);
    return QStringLiteral("postgresql://") + authority + QLatin1Char('/') +
           encoded(text(ini, QStringLiteral("database/name"))) + rest;
}

} // namespace

Settings Settings::read(const QString &file, const QProcessEnvironment &environment)
{
    Settings settings;
    if (QFileInfo::exists(file)) {
        const QSettings ini(file, QSettings::IniFormat);
        if (ini.status() != QSettings::NoError)
            settings.problems << QStringLiteral("%1 cannot be read").arg(file);
        if (!text(ini, QStringLiteral("database/host")).isEmpty() ||
            !text(ini, QStringLiteral("database/name")).isEmpty())
            settings.database = serverUri(ini, settings.problems);
        settings.room = text(ini, QStringLiteral("room/name"));
        const QString limit = text(ini, QStringLiteral("room/clock_limit"));
        bool limitOk = true;
        const double seconds = limit.isEmpty() ? 1.0 : limit.toDouble(&limitOk);
        if (limitOk && seconds >= 0)
            settings.clockLimitMs = qRound(seconds * 1000);
        else
            settings.problems
                << QStringLiteral("[room] clock_limit: \"%1\" is no number of seconds").arg(limit);
        const QString screen = text(ini, QStringLiteral("display/screen"));
        if (!screen.isEmpty())
            settings.screen = screen;
    }
    if (const QString uri = environment.value(QStringLiteral("TESSIVOX_DATABASE")); !uri.isEmpty())
        settings.database = uri;
    if (const QString room = environment.value(QStringLiteral("TESSIVOX_ROOM")); !room.isEmpty())
        settings.room = room;
    if (settings.room.isEmpty())
        settings.room = QSysInfo::machineHostName();
    return settings;
}
