#include "data/StagingFile.h"

#include "data/DbError.h"

#include <QFile>
#include <QTemporaryFile>

#include <filesystem>
#include <system_error>

namespace {

std::filesystem::path native(const QString &path)
{
    // Wide: on Windows a narrow path passes through the system's code page,
    // which may lack the letters of a folder's name.
    return std::filesystem::path(path.toStdU16String());
}

} // namespace

StagingFile::StagingFile(const QString &target)
{
    QTemporaryFile reserve(target + QStringLiteral(".XXXXXX"));
    reserve.setAutoRemove(false);
    if (!reserve.open())
        throw DbError(reserve.fileTemplate() + QStringLiteral(": ") + reserve.errorString());
    m_path = reserve.fileName();
}

StagingFile::~StagingFile()
{
    if (!m_moved)
        QFile::remove(m_path);
}

QString StagingFile::moveTo(const QString &target, bool replace)
{
    if (!replace) {
        // QFile::rename never replaces a file that appeared at target.
        if (!QFile::rename(m_path, target))
            return QStringLiteral("it appeared meanwhile or the folder refuses it");
        m_moved = true;
        return {};
    }
    std::error_code failed;
    std::filesystem::rename(native(m_path), native(target), failed);
    if (failed)
        return QString::fromStdString(failed.message());
    m_moved = true;
    return {};
}
