#pragma once

#include <QString>
#include <functional>
#include <memory>

class Clock;
class ClockHealth;
class ClockSetter;
class FileDialog;
class MediaPlayer;
class MessageBoxes;
class RegionalFormats;
class SleepInhibitor;
class SoundOutputs;

// Everything the windows take from the platform, handed in at start-up.
struct Platform
{
    Clock &clock;
    ClockSetter &clockSetter;
    MessageBoxes &messageBoxes;
    FileDialog &fileDialog;
    SoundOutputs &soundOutputs;
    const RegionalFormats &formats;
    std::function<std::unique_ptr<MediaPlayer>()> makeMediaPlayer;
    // The folder of the program's executable; sound files lie in its
    // "sound" subfolder, whatever the working directory.
    QString programFolder;
    SleepInhibitor &sleepInhibitor;
    const ClockHealth &clockHealth;
    // Where the run shows the candidates' screen: "auto", "none", a screen's
    // number from 1 or its name (the settings file's [display] screen=).
    QString screen = QStringLiteral("auto");

    QString soundPath(const QString &filename) const
    {
        return soundPathIn(soundFolderOf(programFolder), filename);
    }

    // The same rule for tools that look at a run's sounds from outside it.
    static QString soundFolderOf(const QString &programFolder)
    {
        return programFolder + QStringLiteral("/sound");
    }
    static QString soundPathIn(const QString &soundFolder, const QString &filename)
    {
        return soundFolder + QLatin1Char('/') + filename;
    }
};
