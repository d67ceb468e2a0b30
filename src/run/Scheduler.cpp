#include "run/Scheduler.h"

#include "data/Query.h"
#include "platform/Clock.h"
#include "platform/Timer.h"
#include "run/MediaPlayer.h"
#include "run/RunDisplay.h"

#include <QTimer>

#include <cstdlib>
#include <exception>

namespace {

const QString PlayTimePrefix = QStringLiteral("播放时间：");
const QString ExplainPrefix = QStringLiteral("播放说明：");
const QString CurrentExplainPrefix = QStringLiteral("当前播放说明：");
const QString EndOfQueue = QStringLiteral("播放时间：到播放队列尾");
const QString PlayFailure = QStringLiteral("声音控制器不正确，程序可能无法正常运行 !");

// Timer1's intervals 0 and 1 mean "stopped" and "re-evaluate". A real wait
// that short still has to play, so it is stretched to the shortest interval
// that keeps that meaning; the tick itself is aimed at the wall clock.
constexpr int ShortestWait = 2;

} // namespace

Scheduler::Scheduler(Parts parts, QObject *parent) : QObject(parent), m_(std::move(parts)) {}

QString Scheduler::unpaddedTime(const QTime &time)
{
    return QStringLiteral("%1:%2:%3").arg(time.hour()).arg(time.minute()).arg(time.second());
}

QTime Scheduler::rowTime() const
{
    const QTime time = m_.queue.time(QStringLiteral("playtime"));
    // Only the second counts: milliseconds stored with a time are dropped.
    return time.isValid() ? QTime(time.hour(), time.minute(), time.second()) : QTime(0, 0);
}

QDateTime Scheduler::targetOf(const QTime &time) const
{
    return QDateTime(m_.clock.now().date(), time);
}

bool Scheduler::isMissed(const QTime &time) const
{
    // Missed as soon as its second has begun by one millisecond; no
    // instruction is ever played late.
    return m_.clock.now().time() > time;
}

void Scheduler::armRow(const QTime &time)
{
    const QDateTime now = m_.clock.now();
    m_armedTarget = QDateTime(now.date(), time);
    const qint64 wait = std::llabs(now.msecsTo(m_armedTarget));
    const int interval = int(std::max<qint64>(wait, ShortestWait));
    m_.Timer1.armAt(interval, m_.clock, m_armedTarget);
    m_.device.setFileName(m_.soundPath(m_.queue.text(QStringLiteral("filename"))));
}

void Scheduler::showRow(const QString &prefix, const QTime &time)
{
    m_.display.setPlayTime(PlayTimePrefix + unpaddedTime(time));
    m_.display.setMemoLine(prefix + m_.queue.text(QStringLiteral("explain")));
}

void Scheduler::start()
{
    m_.queue.first();
    const QTime time = rowTime();
    if (isMissed(time)) {
        m_.queue.next();
        m_.Timer1.setInterval(1);
        return;
    }
    armRow(time);
    try {
        m_.device.open();
    } catch (const std::exception &) {
        // The play tick opens it again and reports a failure then.
    }
    showRow(ExplainPrefix, time);
}

void Scheduler::Timer1Timer()
{
    // A tick while an earlier one waits (for its failure message to be
    // closed, or for its second to begin) would play the same instruction
    // again; that earlier tick's evaluation re-arms the timer anyway.
    if (m_tickInProgress)
        return;
    if (m_.Timer1.interval() != 1) {
        m_tickInProgress = true;
        try {
            play();
        } catch (const std::exception &) {
            m_.display.showPlayFailure(PlayFailure);
        }
        m_tickInProgress = false;
        if (m_.clock.now() <= m_armedTarget) {
            // The tick came on the very millisecond of the second: judged
            // now, the instruction would count as still ahead and play twice.
            evaluateOnceArmedSecondBegun();
            return;
        }
    }
    evaluate();
}

void Scheduler::play()
{
    MediaPlayer &device = m_.device;
    if (device.isOpen())
        device.close();
    device.open();
    device.stop();
    device.play();
    m_.Timer3.setInterval(int(device.length()));
    peek();
}

void Scheduler::peek()
{
    // The row after the cursor, which after an arming by the evaluation is
    // two after the one playing; on the last row it is that row itself.
    m_.queue.next();
    const qint64 wait = std::llabs(m_.clock.now().msecsTo(targetOf(rowTime())));
    if (wait < m_.Timer3.interval())
        m_.Timer3.setInterval(int(wait));
    m_.queue.prior();
}

void Scheduler::evaluateOnceArmedSecondBegun()
{
    m_tickInProgress = true;
    const qint64 remaining = m_.clock.now().msecsTo(m_armedTarget) + 1;
    QTimer::singleShot(int(std::max<qint64>(remaining, 1)), Qt::PreciseTimer, this, [this] {
        m_tickInProgress = false;
        if (m_.clock.now() <= m_armedTarget)
            evaluateOnceArmedSecondBegun();
        else
            evaluate();
    });
}

void Scheduler::evaluate()
{
    const QTime time = rowTime();
    const bool missed = isMissed(time);
    if (!m_.queue.eof()) {
        if (missed) {
            m_.queue.next();
            m_.Timer1.setInterval(1);
            return;
        }
        armRow(time);
        if (m_.display.memoIsEmpty())
            showRow(ExplainPrefix, time);
        m_label4 = m_.queue.text(QStringLiteral("explain"));
        m_.queue.next();
        m_label6 = unpaddedTime(time);
        return;
    }
    if (missed) {
        m_.Timer1.setInterval(0);
        m_.display.setPlayTime(EndOfQueue);
        m_.Timer3.setInterval(0);
        return;
    }
    // The last row is still ahead: it plays at the next tick.
    armRow(time);
    m_.display.setPlayTime(EndOfQueue);
    if (m_.display.memoIsEmpty())
        m_.display.setMemoLine(CurrentExplainPrefix + m_.queue.text(QStringLiteral("explain")));
    m_label4 = m_.queue.text(QStringLiteral("explain"));
    m_label5 = QStringLiteral("done");
}

void Scheduler::Timer3Timer()
{
    m_.display.setPlayTime(PlayTimePrefix + m_label6);
    m_.display.setMemoLine(ExplainPrefix + m_label4);
    m_.Timer3.setInterval(0);
}
