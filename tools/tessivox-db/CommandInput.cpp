#include "CommandInput.h"

#include "Arguments.h"

#include "platform/Platform.h"

#include <QCoreApplication>
#include <QDir>
#include <QTextStream>

namespace CommandInput {

QString soundFolder(const Arguments &arguments)
{
    const QString option = QStringLiteral("sound-dir");
    return arguments.has(option) ? QDir::cleanPath(QDir().absoluteFilePath(arguments.value(option)))
                                 : Platform::soundFolderOf(QCoreApplication::applicationDirPath());
}

int refuse(QTextStream &err, const QString &reason)
{
    err << "tessivox-db: " << reason << "\n";
    return 2;
}

} // namespace CommandInput
