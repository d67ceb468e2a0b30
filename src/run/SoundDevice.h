#pragma once

#include <QtGlobal>

// The sound device and the count of sound outputs this build plays with: the
// system's own sound client library, WASAPI on Windows and the sound server's
// (PulseAudio, or PipeWire in its place) elsewhere.
#ifdef Q_OS_WIN
#include "platform/WasapiSoundOutputs.h"
#include "run/WasapiMediaPlayer.h"
using SoundDevice = WasapiMediaPlayer;
using SystemSoundOutputs = WasapiSoundOutputs;
#else
#include "platform/PulseSoundOutputs.h"
#include "run/PulseMediaPlayer.h"
using SoundDevice = PulseMediaPlayer;
using SystemSoundOutputs = PulseSoundOutputs;
#endif
