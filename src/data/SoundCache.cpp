#include "data/SoundCache.h"

#include "data/DbError.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>

namespace {

const QString Suffix = QStringLiteral(".wav");

const QRegularExpression &hashPattern()
{
    static const QRegularExpression hash(QStringLiteral("^[0-9a-f]{64}$"));
    return hash;
}

} // namespace

SoundCache::SoundCache(QString folder) : m_folder(std::move(folder)) {}

QString SoundCache::folderIn(const QString &dataFolder)
{
    return dataFolder + QStringLiteral("/sound-cache");
}

bool SoundCache::isHash(const QString &text)
{
    return hashPattern().match(text).hasMatch();
}

QString SoundCache::pathFor(const QString &sha256) const
{
    return isHash(sha256) ? m_folder + QLatin1Char('/') + sha256 + Suffix : QString();
}

bool SoundCache::holds(const SoundStore::Held &file)
{
    const QString path = pathFor(file.sha256);
    if (path.isEmpty())
        return false;
    const QFileInfo info(path);
    if (!info.isFile() || info.size() != file.size)
        return false;
    if (m_verified.contains(file.sha256))
        return true;
    try {
        if (SoundStore::sha256Of(path) != file.sha256) {
            // Not what its name says (a disk error, a hand's edit): fetched anew.
            QFile::remove(path);
            return false;
        }
    } catch (const DbError &) {
        return false;
    }
    m_verified.insert(file.sha256);
    return true;
}

void SoundCache::receive(
    const SoundStore::Held &file,
    const std::function<void(const std::function<void(const QByteArray &)> &)> &fetch)
{
    if (!isHash(file.sha256))
        throw DbError(refusal(file));
    if (!QDir().mkpath(m_folder))
        throw DbError(m_folder + QStringLiteral(": cannot create the folder"));
    QSaveFile out(pathFor(file.sha256));
    if (!out.open(QIODevice::WriteOnly))
        throw DbError(out.fileName() + QStringLiteral(": ") + out.errorString());
    QCryptographicHash hash(QCryptographicHash::Sha256);
    qint64 size = 0;
    fetch([&](const QByteArray &piece) {
        hash.addData(piece);
        size += piece.size();
        if (out.write(piece) != piece.size())
            throw DbError(out.fileName() + QStringLiteral(": ") + out.errorString());
    });
    if (size != file.size || QString::fromLatin1(hash.result().toHex()) != file.sha256) {
        out.cancelWriting();
        throw DbError(QStringLiteral("%1: what arrived is not the server's content (SHA-256 or "
                                     "size differ)")
                          .arg(file.name));
    }
    if (!out.commit())
        throw DbError(out.fileName() + QStringLiteral(": ") + out.errorString());
    m_verified.insert(file.sha256);
}

QString SoundCache::refusal(const SoundStore::Held &file)
{
    return QStringLiteral("%1: the server names its content \"%2\", not a SHA-256: refused")
        .arg(file.name, file.sha256.left(80));
}

void SoundCache::sweep() const
{
    const QDir dir(m_folder);
    for (const QString &name : dir.entryList(QDir::Files | QDir::Hidden))
        if (!name.endsWith(Suffix) || !isHash(name.chopped(Suffix.size())))
            QFile::remove(dir.filePath(name));
}
