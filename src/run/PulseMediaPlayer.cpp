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
        for (const auto &sound : {m_sounds.current, m_sounds.prepared}) {
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
    if (m_sounds.prepared == sound)
        return &m_sounds.prepared;
    if (m_sounds.current == sound && !m_sounds.playAsked)
        return &m_sounds.current;
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

void PulseMediaPlayer::prepare()
{
    std::lock_guard lock(m_connection);
    // One underway or ready is kept; one that failed is tried again, as the
    // server or the file may be back.
    if (const auto sound =
            m_sounds.reusable([](const PulseSound &s) { return !s.settled() || s.ready(); })) {
        if (!sound->handedOver())
            begin(sound);
        return;
    }
    m_sounds.dropPrepared();
    m_sounds.prepared = begin(std::make_shared<PulseSound>(m_connection, m_sounds.fileName));
}

void PulseMediaPlayer::forgetPrepared()
{
    std::lock_guard lock(m_connection);
    m_sounds.forgetPrepared(
        [this](const QString &path) { return std::make_shared<PulseSound>(m_connection, path); });
}

void PulseMediaPlayer::open()
{
    close();
    std::shared_ptr<PulseSound> sound;
    {
        std::lock_guard lock(m_connection);
        sound = m_sounds.takeForOpen();
    }
    if (!sound) {
        sound = std::make_shared<PulseSound>(m_connection, m_sounds.fileName);
        sound->readFile();
    }
    std::lock_guard lock(m_connection);
    m_connection.waitFor([&sound] { return sound->fileSettled(); }, WaitAtStartMs);
    const bool settled = sound->fileSettled();
    m_sounds.open(std::move(sound), settled);
}

void PulseMediaPlayer::close()
{
    std::lock_guard lock(m_connection);
    m_sounds.close();
}

void PulseMediaPlayer::stop()
{
    PulseSound &sound = m_sounds.opened();
    std::lock_guard lock(m_connection);
    // A sound not started yet stays ready for the play that follows.
    if (sound.started())
        sound.release();
}

void PulseMediaPlayer::play()
{
    m_sounds.opened();
    std::lock_guard lock(m_connection);
    // Playing, played to the end or failed: like a device that does not
    // rewind, a second play() starts nothing.
    if (m_sounds.playAsked)
        return;
    m_sounds.playAsked = true;
    const std::shared_ptr<PulseSound> &sound = m_sounds.current;
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
    auto again = std::make_shared<PulseSound>(m_connection, m_sounds.fileName);
    begin(again);
    m_connection.waitFor([&again] { return again->settled(); }, WaitForNewOutputMs);
    m_sounds.current->release();
    m_sounds.current = std::move(again);
}

QString PulseMediaPlayer::playFailure() const
{
    std::lock_guard lock(m_connection);
    return m_sounds.playFailure();
}

qint64 PulseMediaPlayer::startHeardUs() const
{
    std::lock_guard lock(m_connection);
    return m_sounds.startHeardUs();
}

qint64 PulseMediaPlayer::length() const
{
    return m_sounds.opened().lengthMs();
}
