#pragma once

// The sound device and the count of sound outputs this build plays with: the
// sound server's own client library where the build chose it (Linux), as Qt
// Multimedia (6.4) never connects again to a server that restarted or came
// up late; Qt Multimedia elsewhere (Windows).
#if TESSIVOX_SOUND_PULSEAUDIO
#include "platform/PulseSoundOutputs.h"
#include "run/PulseMediaPlayer.h"
using SoundDevice = PulseMediaPlayer;
using SystemSoundOutputs = PulseSoundOutputs;
#else
#include "platform/QtSoundOutputs.h"
#include "run/TMediaPlayer.h"
using SoundDevice = TMediaPlayer;
using SystemSoundOutputs = QtSoundOutputs;
#endif
