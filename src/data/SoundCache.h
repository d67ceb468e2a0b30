#pragma once

#include "data/SoundStore.h"

#include <QSet>
#include <QString>

// This room's copies of the recordings its server holds, in a folder of
// its data (data/sound-cache), each named by its SHA-256. A file appears
// under that name only whole and verified: it is written to a temporary
// name, its SHA-256 checked, then renamed. So whatever lies under a
// content's name is that content, and a download cut off in the middle
// leaves nothing a run would play.
class SoundCache final
{
public:
    explicit SoundCache(QString folder);

    static QString folderIn(const QString &dataFolder);

    const QString &folder() const { return m_folder; }
    // Whether text is a SHA-256 as the cache names its files: 64 digits of
    // lower-case hex. Whatever the server sends, nothing else names a path.
    static bool isHash(const QString &text);
    // Where a content is, or would be once received; empty for what is not
    // a hash.
    QString pathFor(const QString &sha256) const;
    // Whether the content is here, whole. Checked by its SHA-256 once per
    // object, then by its size.
    bool holds(const SoundStore::Held &file);
    // Receives a file: fetch hands its pieces to the sink given. Throws
    // DbError when it fails, the content is not the one announced or its
    // hash is none; the cache is then as before.
    void receive(const SoundStore::Held &file,
                 const std::function<void(const std::function<void(const QByteArray &)> &)> &fetch);
    // Why a file of no hash is refused.
    static QString refusal(const SoundStore::Held &file);
    // Removes what a receiver cut off in the middle left behind.
    void sweep() const;

private:
    QString m_folder;
    QSet<QString> m_verified;
};
