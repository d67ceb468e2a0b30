#include "run/WasapiMediaPlayer.h"

#include "run/SoundError.h"
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
    for (const auto &sound : {m_current, m_prepared}) {
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

bool WasapiMediaPlayer::current(const std::shared_ptr<WasapiSound> &sound) const
{
    return sound && sound->path() == m_fileName && sound->freshFor(FreshForMs);
}

void WasapiMediaPlayer::letGo(std::shared_ptr<WasapiSound> &sound)
{
    if (sound)
        sound->release();
    sound.reset();
}

void WasapiMediaPlayer::prepare()
{
    // One underway or ready is kept, also the one opened and not played yet
    // (the first of a run); one that failed is tried again, as the output
    // or the file may be back.
    for (const std::shared_ptr<WasapiSound> &sound :
         {m_playAsked ? std::shared_ptr<WasapiSound>() : m_current, m_prepared}) {
        if (current(sound) && sound->failure().isEmpty()) {
            sound->prepare();
            return;
        }
    }
    letGo(m_prepared);
    m_prepared = begin(std::make_shared<WasapiSound>(m_fileName));
}

void WasapiMediaPlayer::forgetPrepared()
{
    letGo(m_prepared);
    // So does the open sound not played yet: it stays open, holding only
    // its file until it is got ready again.
    if (m_current && !m_playAsked && m_current->handedOver()) {
        auto reopened = std::make_shared<WasapiSound>(m_current->path());
        reopened->readFile();
        if (reopened->fileFailure().isEmpty())
            std::exchange(m_current, reopened)->release();
    }
}

void WasapiMediaPlayer::open()
{
    close();
    m_closedFailure.clear();
    m_playAsked = false;
    std::shared_ptr<WasapiSound> sound;
    if (current(m_prepared))
        sound = std::exchange(m_prepared, {});
    else
        letGo(m_prepared);
    if (!sound) {
        sound = std::make_shared<WasapiSound>(m_fileName);
        sound->readFile();
    }
    if (!sound->waitFileSettled(WaitAtStartMs) || !sound->fileFailure().isEmpty()) {
        const QString failure =
            sound->waitFileSettled(0)
                ? sound->fileFailure()
                : QStringLiteral("Cannot open sound file \"%1\": it could not be read in time")
                      .arg(m_fileName);
        sound->release();
        throw SoundError(failure);
    }
    m_current = std::move(sound);
}

void WasapiMediaPlayer::close()
{
    if (!m_current)
        return;
    m_closedFailure = m_playAsked ? m_current->failure() : QString();
    // Not played, it is kept for an open() of its file that follows.
    if (!m_playAsked && !m_prepared) {
        m_prepared = std::exchange(m_current, {});
        return;
    }
    letGo(m_current);
}

void WasapiMediaPlayer::stop()
{
    requireOpen();
    if (m_current->started())
        m_current->release();
}

void WasapiMediaPlayer::play()
{
    requireOpen();
    if (m_playAsked)
        return;
    m_playAsked = true;
    const bool preparedAhead = m_current->handedOver();
    if (!preparedAhead)
        begin(m_current);
    bool settled = m_current->waitSettled(preparedAhead ? WaitAtStartMs : WaitUnpreparedMs);
    for (bool again = false;; again = true) {
        if (m_current->ready())
            m_current->start();
        if (again || !m_current->outputLost())
            break;
        // The output went away since the sound was got ready, or as it
        // started: once more, at once, on the output that is the default now.
        auto sound = begin(std::make_shared<WasapiSound>(m_fileName));
        settled = sound->waitSettled(WaitForNewOutputMs);
        m_current->release();
        m_current = std::move(sound);
    }
    if (!settled)
        m_current->giveUp(
            QStringLiteral("The sound output did not answer for \"%1\"").arg(m_fileName));
}

QString WasapiMediaPlayer::playFailure() const
{
    if (!m_current)
        return m_closedFailure;
    return m_playAsked ? m_current->failure() : QString();
}

qint64 WasapiMediaPlayer::startHeardUs() const
{
    return m_current && m_playAsked ? m_current->startHeardUs() : 0;
}

qint64 WasapiMediaPlayer::length() const
{
    requireOpen();
    return m_current->lengthMs();
}

void WasapiMediaPlayer::requireOpen() const
{
    if (!m_current)
        throw SoundError(QStringLiteral("No sound device open"));
}
