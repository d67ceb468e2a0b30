#include "CommandInput.h"

#include "Arguments.h"

#include "data/DbError.h"
#include "data/ServerAddress.h"
#include "platform/Platform.h"

#include <QCoreApplication>
#include <QDir>
#include <QRegularExpression>
#include <QTextStream>
#include <QUrl>

namespace CommandInput {

QString soundFolder(const Arguments &arguments)
{
    const QString option = QStringLiteral("sound-dir");
    return arguments.has(option) ? QDir::cleanPath(QDir().absoluteFilePath(arguments.value(option)))
                                 : Platform::soundFolderOf(QCoreApplication::applicationDirPath());
}

QString unusableLocation(const QString &location)
{
    if (ServerAddress::isServer(location)) {
        if (!QUrl(location, QUrl::StrictMode).isValid())
            return QStringLiteral("%1 is not a valid PostgreSQL URI")
                .arg(ServerAddress::shown(location));
        return {};
    }
    // A scheme (two letters at least, so that C:\ stays a path) names
    // something that is neither a file nor a server the tool reaches.
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]+:"));
    if (scheme.match(location).hasMatch())
        return QStringLiteral("%1 is neither a file path nor a postgresql:// URI").arg(location);
    return {};
}

QString reason(const std::exception &failure)
{
    // A full server is said in the program's words, as a room says it: the
    // engine's text alone reads as a server that cannot be reached.
    if (const auto *database = dynamic_cast<const DbError *>(&failure))
        return database->kind() == DbError::Kind::Full ? QString::fromUtf8(failure.what())
                                                       : database->text();
    return QString::fromUtf8(failure.what());
}

int refuse(QTextStream &err, const QString &reason)
{
    err << "tessivox-db: " << reason << "\n";
    return 2;
}

} // namespace CommandInput
