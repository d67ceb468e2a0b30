#include "run/Announcer.h"

#include "platform/Clock.h"
#include "platform/Timer.h"
#include "run/MediaPlayer.h"

#include <QFileInfo>
#include <algorithm>

namespace {

// A tick this late (a PC that slept) no longer plays: the moment was lost.
constexpr qint64 PlayableMs = 1000;

} // namespace

Announcer::Announcer(MediaPlayer &device, Timer &timer, const Clock &clock, QObject *parent)
    : QObject(parent), m_device(device), m_timer(timer), m_clock(clock)
{
    m_device.setTimeFormatMilliseconds();
    m_timer.setUrgent(true);
    connect(&m_timer, &Timer::timeout, this, &Announcer::tick);
}

void Announcer::setPlan(const QList<Announcement> &plan, const QSet<qint64> &handled)
{
    m_plan = plan;
    std::stable_sort(
        m_plan.begin(), m_plan.end(),
        [](const Announcement &a, const Announcement &b) { return a.second < b.second; });
    m_handled.unite(handled);
    const bool stillPrepared =
        std::any_of(m_plan.cbegin(), m_plan.cend(), [this](const Announcement &a) {
            return a.id == m_prepared && a.path == m_device.fileName();
        });
    if (m_prepared != 0 && !stillPrepared) {
        m_device.forgetPrepared();
        m_prepared = 0;
    }
    tick();
}

std::optional<Announcer::Announcement> Announcer::silence()
{
    if (!m_sounding || !m_device.isOpen() || m_clock.now() >= m_soundEnds)
        return std::nullopt;
    m_device.close();
    return std::exchange(m_sounding, std::nullopt);
}

QDateTime Announcer::secondOf(const Announcement &announcement) const
{
    return QDateTime(m_clock.now().date(), announcement.second);
}

void Announcer::tick()
{
    m_timer.setInterval(0);
    for (const Announcement &announcement : std::as_const(m_plan)) {
        if (m_handled.contains(announcement.id))
            continue;
        const QDateTime now = m_clock.now();
        const QDateTime second = secondOf(announcement);
        if (now.msecsTo(second) > PrepareLeadMs)
            break;
        if (now < second) {
            if (m_prepared != announcement.id && announcement.refused.isEmpty()) {
                m_device.setFileName(announcement.path);
                m_device.prepare();
                m_prepared = announcement.id;
            }
            break;
        }
        m_handled.insert(announcement.id);
        if (second.msecsTo(now) < PlayableMs)
            play(announcement, second);
        else
            emit missed(announcement);
    }
    aim();
}

void Announcer::aim()
{
    const auto next = std::find_if(m_plan.cbegin(), m_plan.cend(), [this](const Announcement &a) {
        return !m_handled.contains(a.id);
    });
    if (next == m_plan.cend())
        return;
    const QDateTime now = m_clock.now();
    const QDateTime second = secondOf(*next);
    const QDateTime ready = second.addMSecs(-PrepareLeadMs);
    const QDateTime target = m_prepared != next->id && ready > now ? ready : second;
    m_timer.armAt(int(std::max<qint64>(now.msecsTo(target), 2)), m_clock, target);
}

void Announcer::play(const Announcement &announcement, const QDateTime &second)
{
    m_prepared = 0;
    m_sounding.reset();
    if (!announcement.refused.isEmpty()) {
        emit failed(announcement, announcement.refused);
        return;
    }
    try {
        if (m_device.isOpen())
            m_device.close();
        m_device.setFileName(announcement.path);
        m_device.open();
        m_device.play();
        // Read once the sound is let go, and carried on to when the output
        // lets it be heard, as an instruction's.
        const QDateTime letGo = m_clock.now();
        if (const QString failure = m_device.playFailure(); !failure.isEmpty()) {
            emit failed(announcement, failure);
            return;
        }
        const qint64 length = m_device.length();
        m_soundEnds = letGo.addMSecs(length);
        m_sounding = announcement;
        emit started(announcement, m_device.heardDelayMs(second, letGo), length);
    } catch (const std::exception &error) {
        emit failed(announcement, QFileInfo::exists(announcement.path)
                                      ? QString::fromUtf8(error.what())
                                      : QStringLiteral("not yet received from the server"));
    }
}
