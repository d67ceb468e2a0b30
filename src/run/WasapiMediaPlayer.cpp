#include "run/WasapiMediaPlayer.h"

#include "run/SoundReadiness.h"
#include "run/WasapiSound.h"

namespace {

// A sound opened without preparation waits this long for its output.
constexpr int WaitUnpreparedMs = 2000;
// Before the program exits: the sounds' threads let go of their streams.
constexpr int LetGoWithinMs = 500;

} // namespace

using namespace SoundReadiness;

WasapiMediaPlayer::WasapiMediaPlayer() = default;

WasapiMediaPlayer::~WasapiMediaPlayer()
{
    for (const auto &sound : {m_sounds.current, m_sounds.prepared}) {
        if (sound) {
            sound->release();
            sound->waitFinished(LetGoWithinMs);
        }
    }
}

std::shared_ptr<WasapiSound> WasapiMediaPlayer::begin(std::shared_ptr<WasapiSound> sound)
{
    sound->prepare();
    return sound;
}

void WasapiMediaPlayer::prepare()
{
    // One underway or ready is kept; one that failed is tried again, as the
    // output or the file may be back.
    if (const auto sound =
            m_sounds.reusable([](const WasapiSound &s) { return s.failure().isEmpty(); })) {
        sound->prepare();
        return;
    }
    m_sounds.dropPrepared();
    m_sounds.prepared = begin(std::make_shared<WasapiSound>(m_sounds.fileName));
}

void WasapiMediaPlayer::forgetPrepared()
{
    m_sounds.forgetPrepared(
        [](const QString &path) { return std::make_shared<WasapiSound>(path); });
}

void WasapiMediaPlayer::open()
{
    close();
    std::shared_ptr<WasapiSound> sound = m_sounds.takeForOpen();
    if (!sound) {
        sound = std::make_shared<WasapiSound>(m_sounds.fileName);
        sound->readFile();
    }
    const bool settled = sound->waitFileSettled(WaitAtStartMs);
    m_sounds.open(std::move(sound), settled);
}

void WasapiMediaPlayer::close()
{
    m_sounds.close();
}

void WasapiMediaPlayer::stop()
{
    WasapiSound &sound = m_sounds.opened();
    if (sound.started())
        sound.release();
}

void WasapiMediaPlayer::play()
{
    m_sounds.opened();
    if (m_sounds.playAsked)
        return;
    m_sounds.playAsked = true;
    std::shared_ptr<WasapiSound> &current = m_sounds.current;
    const bool preparedAhead = current->handedOver();
    if (!preparedAhead)
        begin(current);
    bool settled = current->waitSettled(preparedAhead ? WaitAtStartMs : WaitUnpreparedMs);
    for (bool again = false;; again = true) {
        if (current->ready())
            current->start();
        if (again || !current->outputLost())
            break;
        // The output went away since the sound was got ready, or as it
        // started: once more, at once, on the output that is the default now.
        auto sound = begin(std::make_shared<WasapiSound>(m_sounds.fileName));
        settled = sound->waitSettled(WaitForNewOutputMs);
        current->release();
        current = std::move(sound);
    }
    if (!settled)
        current->giveUp(
            QStringLiteral("The sound output did not answer for \"%1\"").arg(m_sounds.fileName));
}

QString WasapiMediaPlayer::playFailure() const
{
    return m_sounds.playFailure();
}

qint64 WasapiMediaPlayer::startHeardUs() const
{
    return m_sounds.startHeardUs();
}

qint64 WasapiMediaPlayer::length() const
{
    return m_sounds.opened().lengthMs();
}
