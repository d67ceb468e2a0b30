#include "run/PulseMediaPlayer.h"

#include "run/PulseSound.h"
#include "run/SoundError.h"
#include "run/SoundReadiness.h"

#include <QElapsedTimer>
#include <mutex>

using namespace SoundReadiness;

namespace {

// A server restarted in the last moments before a second answers a new
// connection within milliseconds; one that does not within this costs the
// instruction rather than the windows' thread.
constexpr int WaitForNewServerMs = 500;

// How often a sound waiting for its second looks for a server that went
// away: a new one answering is found this much after at most.
constexpr int LookForServerEveryMs = 100;

} // namespace

PulseMediaPlayer::PulseMediaPlayer()
{
    // Two sounds may wait at once (a run's first, opened, and the next one),
    // each kept ready by a worker, with room for another's preparation.
    m_workers.setMaxThreadCount(4);
}

PulseMediaPlayer::~PulseMediaPlayer()
{
    {
        std::lock_guard lock(m_connection);
        m_ending = true;
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
    sound->handOver();
    m_workers.start([this, sound] {
        sound->prepare();
        keepReady(sound);
    });
    return sound;
}

std::shared_ptr<PulseSound> *PulseMediaPlayer::waiting(const std::shared_ptr<PulseSound> &sound)
{
    if (m_ending)
        return nullptr;
    if (m_prepared == sound)
        return &m_prepared;
    if (m_current == sound && !m_playAsked)
        return &m_current;
    return nullptr;
}

void PulseMediaPlayer::keepReady(std::shared_ptr<PulseSound> sound)
{
    // Not beyond the time a sound got ready stays of use.
    QElapsedTimer kept;
    kept.start();
    QElapsedTimer lastLook;
    std::lock_guard lock(m_connection);
    const auto lostItsServer = [this, &sound] {
        return sound->settled() && !sound->ready() && sound->fileFailure().isEmpty() &&
               m_connection.lost();
    };
    while (kept.elapsed() < FreshForMs) {
        std::shared_ptr<PulseSound> *slot = waiting(sound);
        if (!slot)
            return;
        if (!lostItsServer()) {
            m_connection.waitFor([&] { return lostItsServer() || !waiting(sound); },
                                 LookForServerEveryMs);
            continue;
        }
        if (lastLook.isValid() && lastLook.elapsed() < LookForServerEveryMs) {
            m_connection.waitFor([&] { return !waiting(sound); },
                                 int(LookForServerEveryMs - lastLook.elapsed()));
            continue;
        }
        lastLook.start();
        // Its file read first, off the lock: the sound open for its second
        // has its length at once. The connection's lock is never held twice
        // over a wait.
        auto again = std::make_shared<PulseSound>(m_connection, sound->path());
        m_connection.unlock();
        again->readFile();
        m_connection.lock();
        slot = waiting(sound);
        if (!slot)
            return;
        again->handOver();
        std::exchange(*slot, again)->release();
        sound = std::move(again);
        m_connection.unlock();
        sound->prepare();
        m_connection.lock();
    }
}

bool PulseMediaPlayer::current(const std::shared_ptr<PulseSound> &sound) const
{
    return sound && sound->path() == m_fileName && sound->freshFor(FreshForMs);
}

void PulseMediaPlayer::prepare()
{
    std::lock_guard lock(m_connection);
    // One underway or ready is kept, also the one opened and not played yet
    // (the first of a run); one that failed is tried again, as the server
    // or the file may be back.
    for (const std::shared_ptr<PulseSound> &sound :
         {m_playAsked ? std::shared_ptr<PulseSound>() : m_current, m_prepared}) {
        if (current(sound) && (!sound->settled() || sound->ready())) {
            if (!sound->handedOver())
                begin(sound);
            return;
        }
    }
    if (m_prepared)
        m_prepared->release();
    m_prepared = begin(std::make_shared<PulseSound>(m_connection, m_fileName));
}

void PulseMediaPlayer::forgetPrepared()
{
    std::lock_guard lock(m_connection);
    if (m_prepared)
        m_prepared->release();
    m_prepared.reset();
    // So does the open sound not played yet (a run's first): it stays open,
    // holding only its file until it is got ready again.
    if (m_current && !m_playAsked && m_current->handedOver()) {
        auto reopened = std::make_shared<PulseSound>(m_connection, m_current->path());
        reopened->readFile();
        if (reopened->fileFailure().isEmpty())
            std::exchange(m_current, reopened)->release();
    }
}

void PulseMediaPlayer::open()
{
    close();
    std::shared_ptr<PulseSound> sound;
    {
        std::lock_guard lock(m_connection);
        m_closedFailure.clear();
        m_playAsked = false;
        // One that failed is taken too: play() tries it again on a new
        // connection when its server went away.
        if (current(m_prepared))
            sound = std::exchange(m_prepared, {});
        // Any other is of no use now and would only hold a stream.
        else if (m_prepared)
            std::exchange(m_prepared, {})->release();
    }
    if (!sound) {
        sound = std::make_shared<PulseSound>(m_connection, m_fileName);
        sound->readFile();
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
    // Not played, it is kept for an open() of its file that follows, as at
    // the second of a run's first instruction, opened as the run started;
    // failed, play() tells then whether to try again.
    if (!m_playAsked && !m_prepared) {
        m_prepared = std::exchange(m_current, {});
        return;
    }
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
    const bool preparedAhead = sound->handedOver();
    if (!preparedAhead)
        begin(sound);
    m_connection.waitFor([&sound] { return sound->settled(); }, preparedAhead ? WaitAtStartMs : -1);
    // A server that went away, restarted or not, is tried once more at
    // once; one that does not answer would only hold the windows up again.
    if (sound->settled() && !sound->ready() && m_connection.lost())
        prepareAgain();
    if (sound->ready())
        sound->start();
    else
        sound->giveUp((sound->settled()
                           ? QStringLiteral("The sound server let go of \"%1\"")
                           : QStringLiteral("The sound server did not answer for \"%1\""))
                          .arg(sound->path()));
}

void PulseMediaPlayer::prepareAgain()
{
    // A new sound for the same file: the old one's stream went with its
    // server, with part of the file already handed to it.
    auto again = std::make_shared<PulseSound>(m_connection, m_fileName);
    begin(again);
    m_connection.waitFor([&again] { return again->settled(); }, WaitForNewOutputMs);
    m_current->release();
    m_current = std::move(again);
}

QString PulseMediaPlayer::playFailure() const
{
    std::lock_guard lock(m_connection);
    if (!m_current)
        return m_closedFailure;
    return m_playAsked ? m_current->failure() : QString();
}

qint64 PulseMediaPlayer::startHeardUs() const
{
    std::lock_guard lock(m_connection);
    return m_current && m_playAsked ? m_current->startHeardUs() : 0;
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
