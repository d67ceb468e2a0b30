#include "platform/QtSoundOutputs.h"

#include <QAudioDevice>
#include <QMediaDevices>

int QtSoundOutputs::count() const
{
    return int(QMediaDevices::audioOutputs().size());
}
