#include "run/PlayFailure.h"

#include "run/SoundError.h"
#include "run/SoundFile.h"

#include <QFileInfo>

namespace PlayFailure {

QString fileProblem(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return QStringLiteral("文件不存在");
    if (!info.isFile())
        return QStringLiteral("这不是一个文件");
    if (!info.isReadable())
        return QStringLiteral("没有读取这个文件的权限");
    try {
        if (SoundFile(path).lengthMs() <= 0)
            return QStringLiteral("声音文件中没有声音");
    } catch (const SoundError &) {
        return QStringLiteral("这不是可以播放的声音文件（WAV），或文件已损坏");
    }
    return {};
}

QString text(const QString &file, const QString &reason)
{
    return Sentence + QStringLiteral("\n文件：") + file + QStringLiteral("\n原因：") + reason;
}

} // namespace PlayFailure
