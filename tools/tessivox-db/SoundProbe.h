#pragma once

#include <QHash>
#include <QString>

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
    };

    explicit SoundProbe(QString folder) : m_folder(std::move(folder)) {}
    Q_DISABLE_COPY_MOVE(SoundProbe)

    const QString &folder() const { return m_folder; }
    QString pathOf(const QString &filename) const;
    const Sound &sound(const QString &filename);

private:
    QString m_folder;
    QHash<QString, Sound> m_sounds;
};
