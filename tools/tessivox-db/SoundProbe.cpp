#include "SoundProbe.h"

#include "platform/Platform.h"
#include "run/SoundError.h"
#include "run/SoundFile.h"

#include <QFileInfo>

QString SoundProbe::pathOf(const QString &filename) const
{
    return Platform::soundPathIn(m_folder, filename);
}

namespace {

SoundProbe::Sound decode(const QString &path)
{
    SoundProbe::Sound sound;
    try {
        sound.lengthMs = SoundFile(path).lengthMs();
    } catch (const SoundError &error) {
        sound.problem = QStringLiteral("the file cannot be decoded: %1").arg(error.text());
    }
    return sound;
}

} // namespace

void SoundProbe::useServer(QHash<QString, SoundStore::Held> held, const QString &cacheFolder)
{
    m_server = true;
    m_held = std::move(held);
    m_cache.emplace(cacheFolder);
}

SoundProbe::Sound SoundProbe::serverSound(const SoundStore::Held &held)
{
    if (m_cache->holds(held)) {
        Sound sound = decode(m_cache->pathFor(held.sha256));
        sound.whereHeld = QStringLiteral("the server holds the file; this PC's cache holds it");
        return sound;
    }
    Sound sound;
    sound.decoded = false;
    sound.whereHeld =
        QStringLiteral("the server holds the file; this PC's cache does not hold it yet");
    return sound;
}

const SoundProbe::Sound &SoundProbe::sound(const QString &filename)
{
    const QString path = pathOf(filename);
    const auto known = m_sounds.constFind(path);
    if (known != m_sounds.constEnd())
        return *known;
    if (m_held.contains(filename))
        return *m_sounds.insert(path, serverSound(m_held.value(filename)));
    Sound sound;
    if (!QFileInfo::exists(path))
        sound.problem = m_server ? QStringLiteral("the file is missing: %1, and the server does "
                                                  "not hold it")
                                       .arg(path)
                                 : QStringLiteral("the file is missing: %1").arg(path);
    else
        sound = decode(path);
    return *m_sounds.insert(path, sound);
}
