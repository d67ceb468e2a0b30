#pragma once

#include "data/SoundCache.h"
#include "data/SoundStore.h"

#include <QHash>
#include <QString>
#include <optional>

// Each instruction's sound file as the run's device reads it: the same folder
// rule and the same decoder. A file is opened once, however many
// instructions name it.
class SoundProbe final
{
public:
    struct Sound
    {
        // Empty when the file can be played; otherwise why not.
        QString problem;
        qint64 lengthMs = 0;
        // False when no copy of it is on this PC to be read: the server
        // holds it and this PC has not received it.
        bool decoded = true;
        // Where a server's recording is, when the server keeps them.
        QString whereHeld;
    };

    explicit SoundProbe(QString folder) : m_folder(std::move(folder)) {}
    Q_DISABLE_COPY_MOVE(SoundProbe)

    const QString &folder() const { return m_folder; }
    QString pathOf(const QString &filename) const;
    const Sound &sound(const QString &filename);
    // The recordings a server holds, by name, and this PC's cache of them:
    // what the server holds is read from the cache, as the run plays it.
    void useServer(QHash<QString, SoundStore::Held> held, const QString &cacheFolder);

private:
    Sound serverSound(const SoundStore::Held &held);

    QString m_folder;
    bool m_server = false;
    QHash<QString, SoundStore::Held> m_held;
    std::optional<SoundCache> m_cache;
    QHash<QString, Sound> m_sounds;
};
