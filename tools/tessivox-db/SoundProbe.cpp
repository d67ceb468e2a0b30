#include "SoundProbe.h"

#include "platform/Platform.h"
#include "run/SoundError.h"
#include "run/SoundFile.h"

#include <QFileInfo>

QString SoundProbe::pathOf(const QString &filename) const
{
    return Platform::soundPathIn(m_folder, filename);
}

const SoundProbe::Sound &SoundProbe::sound(const QString &filename)
{
    const QString path = pathOf(filename);
    const auto known = m_sounds.constFind(path);
    if (known != m_sounds.constEnd())
        return *known;
    Sound sound;
    if (!QFileInfo::exists(path)) {
        sound.problem = QStringLiteral("the file is missing: %1").arg(path);
    } else {
        try {
            sound.lengthMs = SoundFile(path).lengthMs();
        } catch (const SoundError &error) {
            sound.problem = QStringLiteral("the file cannot be decoded: %1").arg(error.text());
        }
    }
    return *m_sounds.insert(path, sound);
}
