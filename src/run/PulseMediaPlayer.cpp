#include "run/PulseMediaPlayer.h"

#include "run/PulseSound.h"
#include "run/SoundError.h"

#include <mutex>

namespace {

// How long open() and play() wait for a sound prepared ahead that is not
// ready yet (its preparation is late): a local server readies a stream within
// milliseconds, and the user-interface thread that calls them must not hang
// on one that does not answer. A sound opened without preparation is waited
// for as long as the connection waits for any answer.
constexpr int WaitAtStartMs = 200;

} // namespace

PulseMediaPlayer::PulseMediaPlayer() = default;

PulseMediaPlayer::~PulseMediaPlayer()
{
    {
        std::lock_guard lock(m_connection);
        for (const auto &sound : {m_current, m_prepared}) {
            if (sound)
                sound->release();
        }
    }
    // Released, the preparations still underway stop at once.
    m_workers.waitForDone();
}

std::shared_ptr<PulseSound> PulseMediaPlayer::begin(std::shared_ptr<PulseSound> sound)
{
    m_workers.start([sound] { sound->prepare(); });
    return sound;
}

void PulseMediaPlayer::prepare()
{
    std::lock_guard lock(m_connection);
    // One underway or ready is kept; one that failed is tried again, as the
    // server or the file may be back.
    if (m_prepared && m_prepared->path() == m_fileName &&
        (!m_prepared->settled() || m_prepared->ready()))
        return;
    if (m_prepared)
        m_prepared->release();
    m_prepared = begin(std::make_shared<PulseSound>(m_connection, m_fileName));
}

void PulseMediaPlayer::open()
{
    close();
    std::shared_ptr<PulseSound> sound;
    {
        std::lock_guard lock(m_connection);
        m_closedFailure.clear();
        m_playAsked = false;
        m_preparedAhead = m_prepared && m_prepared->path() == m_fileName;
        if (m_preparedAhead)
            sound = std::exchange(m_prepared, {});
    }
    if (!sound) {
        sound = std::make_shared<PulseSound>(m_connection, m_fileName);
        sound->readFile();
        if (sound->fileFailure().isEmpty())
            begin(sound);
    }
    std::lock_guard lock(m_connection);
    m_connection.waitFor([&sound] { return sound->fileSettled(); }, WaitAtStartMs);
    if (!sound->fileSettled() || !sound->fileFailure().isEmpty()) {
        const QString failure =
            sound->fileSettled()
                ? sound->fileFailure()
                : QStringLiteral("Cannot open sound file \"%1\": it could not be read in time")
                      .arg(m_fileName);
        sound->release();
        throw SoundError(failure);
    }
    m_current = std::move(sound);
}

void PulseMediaPlayer::close()
{
    std::lock_guard lock(m_connection);
    if (!m_current)
        return;
    m_closedFailure = m_playAsked ? m_current->failure() : QString();
    m_current->release();
    m_current.reset();
}

void PulseMediaPlayer::stop()
{
    requireOpen();
    std::lock_guard lock(m_connection);
    // A sound not started yet stays ready for the play that follows.
    if (m_current->started())
        m_current->release();
}

void PulseMediaPlayer::play()
{
    requireOpen();
    std::lock_guard lock(m_connection);
    // Playing, played to the end or failed: like a device that does not
    // rewind, a second play() starts nothing.
    if (m_playAsked)
        return;
    m_playAsked = true;
    const std::shared_ptr<PulseSound> &sound = m_current;
    m_connection.waitFor([&sound] { return sound->settled(); },
                         m_preparedAhead ? WaitAtStartMs : -1);
    if (sound->ready())
        sound->start();
    else
        sound->giveUp((sound->settled()
                           ? QStringLiteral("The sound server let go of \"%1\"")
                           : QStringLiteral("The sound server did not answer for \"%1\""))
                          .arg(sound->path()));
}

QString PulseMediaPlayer::playFailure() const
{
    std::lock_guard lock(m_connection);
    if (!m_current)
        return m_closedFailure;
    return m_playAsked ? m_current->failure() : QString();
}

qint64 PulseMediaPlayer::length() const
{
    requireOpen();
    return m_current->lengthMs();
}

void PulseMediaPlayer::requireOpen() const
{
    if (!m_current)
        throw SoundError(QStringLiteral("No sound device open"));
}
