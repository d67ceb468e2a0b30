#include "office/PcIdentity.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSysInfo>
#include <QUuid>

namespace {

QString readId(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QString id = QString::fromLatin1(file.read(64)).trimmed();
    static const QRegularExpression shape(QStringLiteral("^[0-9a-f-]{8,36}$"));
    return shape.match(id).hasMatch() ? id : QString();
}

} // namespace

PcIdentity PcIdentity::of(const QString &dataFolder)
{
    const QString path = dataFolder + QStringLiteral("/pc-id");
    PcIdentity pc{readId(path), QSysInfo::machineHostName()};
    if (!pc.id.isEmpty())
        return pc;
    const QString made = QUuid::createUuid().toString(QUuid::WithoutBraces);
    QSaveFile file(path);
    if (QDir().mkpath(dataFolder) && file.open(QIODevice::WriteOnly) &&
        file.write(made.toLatin1() + '\n') > 0 && file.commit()) {
        pc.id = made;
        return pc;
    }
    pc.id =
        QString::fromLatin1(QCryptographicHash::hash(QSysInfo::machineUniqueId() + pc.host.toUtf8(),
                                                     QCryptographicHash::Sha256)
                                .toHex()
                                .left(32));
    return pc;
}
