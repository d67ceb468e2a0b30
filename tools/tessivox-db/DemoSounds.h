#pragma once

#include <QString>

// Writes the demo's WAV files into one folder: spoken Chinese through
// espeak-ng where it is installed, otherwise a plain tone, so that the demo
// can always be heard. Throws std::runtime_error when a file cannot be made.
class DemoSounds final
{
public:
    explicit DemoSounds(QString folder);
    Q_DISABLE_COPY_MOVE(DemoSounds)

    const QString &folder() const { return m_folder; }
    // Whether the files are speech; false once a tone had to stand in.
    bool spoken() const { return m_spoken; }

    void write(const QString &fileName, const QString &text, double toneHz);

private:
    bool speak(const QString &path, const QString &text) const;
    static void writeTone(const QString &path, double hz);

    QString m_folder;
    QString m_espeak;
    bool m_spoken;
};
