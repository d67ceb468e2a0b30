#include "run/Scheduler.h"

#include "platform/Clock.h"
#include "platform/Timer.h"
#include "run/DayMoment.h"
#include "run/InstructionQueue.h"
#include "run/MediaPlayer.h"
#include "run/PlayFailure.h"
#include "run/RunDisplay.h"

#include <algorithm>
#include <cstdlib>
#include <exception>
#include <limits>
#include <utility>

namespace {

const QString PlayTimePrefix = QStringLiteral("播放时间：");
const QString ExplainPrefix = QStringLiteral("播放说明：");
const QString CurrentExplainPrefix = QStringLiteral("当前播放说明：");
const QString EndOfQueue = QStringLiteral("播放时间：到播放队列尾");

// Timer1's intervals 0 and 1 mean "stopped" and "re-evaluate". A real wait
// that short still has to play, so it is stretched to the shortest interval
// that keeps that meaning; the tick itself is aimed at the wall clock.
constexpr int ShortestWait = 2;

// A play tick plays its instruction only within the instruction's own second:
// a later one means the clock jumped over it.
constexpr qint64 SecondMs = 1000;

// How long before its second the armed instruction's sound is got ready:
// time enough for a reconnect to a server that went away, or for a server
// that does not answer to be found out, yet near enough that what is
// prepared is what the sound folder and the server hold at the second.
constexpr qint64 PrepareLeadMs = 3000;

} // namespace

Scheduler::Scheduler(Parts parts, QObject *parent)
    : QObject(parent), m_(std::move(parts)), m_queue(std::make_unique<InstructionQueue>()),
      m_watch(m_.clock)
{}

Scheduler::~Scheduler() = default;

QString Scheduler::unpaddedTime(const QTime &time)
{
    return QStringLiteral("%1:%2:%3").arg(time.hour()).arg(time.minute()).arg(time.second());
}

QString Scheduler::rowFile() const
{
    return m_.soundPath(m_queue->current().filename);
}

bool Scheduler::rowPassed(const QTime &time, const QDateTime &at) const
{
    // Passed as soon as its second has begun by one millisecond; no
    // instruction is ever played late.
    return m_done.contains(m_queue->current().id) || DayMoment::of(at, time).passedAt(at);
}

void Scheduler::noteMissed(qint64 id, const QTime &time, const QString &file)
{
    if (m_done.contains(id))
        return;
    m_done.insert(id);
    emit missed(time, file);
}

void Scheduler::armRow(const QTime &time)
{
    m_armed = {m_queue->current().id, time, rowFile(), m_queue->current().explain,
               m_queue->current().filename};
    m_.device.setFileName(m_armed.file);
    aim();
}

void Scheduler::aim()
{
    const QDateTime now = m_.clock.now();
    const QDateTime second = DayMoment::of(now, m_armed.time).at;
    const qint64 wait = std::llabs(now.msecsTo(second));
    m_.Timer1.armAt(int(std::max<qint64>(wait, ShortestWait)), m_.clock, second);
    prepareIfNear(now);
}

void Scheduler::prepareIfNear(const QDateTime &now)
{
    // Only a wait ends in a play; stopped or re-evaluating, nothing is armed.
    if (m_.Timer1.interval() > 1 &&
        now.msecsTo(DayMoment::of(now, m_armed.time).at) <= PrepareLeadMs) {
        resolveArmed();
        m_.device.prepare();
    }
}

void Scheduler::resolveArmed()
{
    const QString path = m_.soundPath(m_armed.name);
    if (m_armed.name.isNull() || path == m_armed.file)
        return;
    m_armed.file = path;
    m_.device.setFileName(path);
}

void Scheduler::showRow(const QString &prefix, const QTime &time)
{
    m_.display.setPlayTime(PlayTimePrefix + unpaddedTime(time));
    m_.display.setMemoLine(prefix + m_queue->current().explain);
}

void Scheduler::start(QList<Instruction> instructions)
{
    m_started = true;
    m_watch.restart();
    m_queue->reset(std::move(instructions));
    const QTime time = m_queue->current().playSecond();
    if (rowPassed(time, m_.clock.now())) {
        noteMissed(m_queue->current().id, time, rowFile());
        m_queue->next();
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
    const QDateTime now = m_.clock.now();
    if (m_.Timer1.interval() == 1) {
        evaluate(now);
        return;
    }
    const DayMoment second = DayMoment::of(now, m_armed.time);
    if (now < second.at) {
        // The clock was set back after the wait was aimed: never early.
        aim();
        return;
    }
    if (!second.exists || second.at.msecsTo(now) >= SecondMs) {
        // The clock jumped over the instruction: set forward, or a time the
        // daylight-saving change skips.
        noteMissed(m_armed.id, m_armed.time, m_armed.file);
        m_showPassed = true;
        evaluate(now);
        return;
    }
    const QString failure = play(second.at);
    // Judged as if the second had begun even on its very millisecond: the
    // instruction just played, and any other of that second, count as passed.
    evaluate(std::max(m_.clock.now(), second.at.addMSecs(1)));
    // Reported once the next instruction is armed, so that a box still open
    // silences nothing.
    if (!failure.isEmpty())
        m_.display.showPlayFailure(failure);
}

QString Scheduler::play(const QDateTime &second)
{
    MediaPlayer &device = m_.device;
    m_done.insert(m_armed.id);
    // Opening the next sound forgets how the last one ended.
    reportBrokenOff();
    resolveArmed();
    try {
        if (device.isOpen()) {
            device.close();
            if (m_.clock.now() < std::exchange(m_soundEnds, {}))
                emit silenced();
        }
        device.open();
        device.stop();
        device.play();
        // Read once the sound is let go, however long play() took to get it
        // there, and carried on to when the output lets it be heard: the
        // delay reported is the one heard, in whole milliseconds rounded up.
        const QDateTime letGo = m_.clock.now();
        if (const QString failure = device.playFailure(); !failure.isEmpty()) {
            emit failed(m_armed.time, device.fileName(), failure, Failure::Output);
            return PlayFailure::text(m_armed.name, outputFailure(failure));
        }
        emit played(m_armed.time, device.heardDelayMs(second, letGo), device.fileName());
        m_sounding = m_armed;
        const qint64 length = device.length();
        m_soundEnds = letGo.addMSecs(length);
        m_.Timer3.setInterval(int(std::min<qint64>(length, std::numeric_limits<int>::max())));
        emit speaking(m_armed.explanation, length);
        peek();
    } catch (const std::exception &error) {
        const QString absence = m_.absence ? m_.absence(device.fileName()) : QString();
        emit failed(m_armed.time, device.fileName(),
                    absence.isEmpty() ? QString::fromUtf8(error.what()) : absence, Failure::File);
        QString reason = absence.isEmpty() ? PlayFailure::fileProblem(device.fileName())
                                           : QStringLiteral("尚未从服务器收到这个文件");
        if (reason.isEmpty())
            reason = QStringLiteral("文件无法打开（%1）").arg(QString::fromUtf8(error.what()));
        return PlayFailure::text(m_armed.name, reason);
    }
    return {};
}

QString Scheduler::outputFailure(const QString &detail)
{
    return QStringLiteral("声音输出没有播放这个文件（%1）").arg(detail);
}

std::optional<Scheduler::Silenced> Scheduler::cutOff()
{
    if (!m_.device.isOpen() || m_.clock.now() >= m_soundEnds || m_sounding.id < 0)
        return std::nullopt;
    m_.device.close();
    m_soundEnds = {};
    const Armed sounding = std::exchange(m_sounding, {});
    emit silenced();
    return Silenced{sounding.time, sounding.file};
}

void Scheduler::reportBrokenOff()
{
    if (m_sounding.id < 0)
        return;
    const QString failure = m_.device.playFailure();
    if (failure.isEmpty())
        return;
    const Armed sounding = std::exchange(m_sounding, {});
    m_soundEnds = {};
    emit silenced();
    emit failed(sounding.time, sounding.file, failure, Failure::Output);
    m_.display.showPlayFailure(PlayFailure::text(sounding.name, outputFailure(failure)));
}

void Scheduler::peek()
{
    // The row after the cursor, which after an arming by the evaluation is
    // two after the one playing; on the last row it is that row itself.
    m_queue->next();
    const QDateTime now = m_.clock.now();
    const qint64 wait =
        std::llabs(now.msecsTo(DayMoment::of(now, m_queue->current().playSecond()).at));
    if (wait < m_.Timer3.interval())
        m_.Timer3.setInterval(int(wait));
    m_queue->prior();
}

void Scheduler::evaluate(const QDateTime &at)
{
    const QTime time = m_queue->current().playSecond();
    const bool passed = rowPassed(time, at);
    if (passed)
        noteMissed(m_queue->current().id, time, rowFile());
    if (!m_queue->eof()) {
        if (passed) {
            m_queue->next();
            m_.Timer1.setInterval(1);
            return;
        }
        armRow(time);
        if (std::exchange(m_showPassed, false) || m_.display.memoIsEmpty())
            showRow(ExplainPrefix, time);
        m_label4 = m_queue->current().explain;
        m_queue->next();
        m_label6 = unpaddedTime(time);
        return;
    }
    const bool showPassed = std::exchange(m_showPassed, false);
    if (passed) {
        m_.Timer1.setInterval(0);
        m_.display.setPlayTime(EndOfQueue);
        m_.Timer3.setInterval(0);
        return;
    }
    // The last row is still ahead: it plays at the next tick.
    armRow(time);
    m_.display.setPlayTime(EndOfQueue);
    if (showPassed || m_.display.memoIsEmpty())
        m_.display.setMemoLine(CurrentExplainPrefix + m_queue->current().explain);
    m_label4 = m_queue->current().explain;
    m_label5 = QStringLiteral("done");
}

void Scheduler::Timer3Timer()
{
    m_.display.setPlayTime(PlayTimePrefix + m_label6);
    m_.display.setMemoLine(ExplainPrefix + m_label4);
    m_.Timer3.setInterval(0);
}

void Scheduler::checkClock()
{
    reportBrokenOff();
    if (const std::optional<ClockWatch::Step> step = m_watch.check()) {
        emit clockStepSeen(step->from, step->to);
        m_.device.forgetPrepared();
        clockStepped();
    }
    prepareIfNear(m_.clock.now());
}

void Scheduler::clockStepped()
{
    // Stopped or finished, nothing is armed; a pending re-evaluation judges
    // the new time anyway.
    if (m_.Timer1.interval() <= 1)
        return;
    const QDateTime now = m_.clock.now();
    if (!DayMoment::of(now, m_armed.time).passedAt(now)) {
        aim();
        return;
    }
    noteMissed(m_armed.id, m_armed.time, m_armed.file);
    m_showPassed = true;
    m_.Timer1.setInterval(1);
}

QList<QueueChange::Row> Scheduler::rows(const QList<Instruction> &instructions) const
{
    QList<QueueChange::Row> all;
    for (const Instruction &instruction : instructions)
        all.append({instruction.id, instruction.playSecond(), m_.soundPath(instruction.filename),
                    instruction.explain});
    return all;
}

QueueChange Scheduler::follow(QList<Instruction> fresh)
{
    QueueChange change = QueueChange::between(rows(m_queue->all()), rows(fresh));
    if (change.isEmpty())
        return change;
    const QDateTime now = m_.clock.now();
    const bool frozen = m_.Timer1.interval() > 1 && !m_done.contains(m_armed.id) &&
                        now.msecsTo(DayMoment::of(now, m_armed.time).at) < FrozenMs;
    if (frozen)
        change.keep({m_armed.id, m_armed.time, m_armed.file, m_armed.explanation});
    m_queue->reset(std::move(fresh));
    // An instruction added behind the clock was never this run's to play.
    for (const QueueChange::Row &row : std::as_const(change.added))
        if (DayMoment::of(now, row.time).passedAt(now))
            m_done.insert(row.id);
    if (!std::exchange(m_started, true))
        m_watch.restart();
    // The frozen instruction's wait stays; after its play the evaluation
    // walks the new rows from the first.
    if (frozen)
        return change;
    if (m_queue->size() == 0) {
        m_.Timer1.setInterval(0);
        m_.display.setPlayTime(EndOfQueue);
        return change;
    }
    // While a sound plays its explanation stays until the display switch,
    // which then shows what the evaluation armed.
    m_showPassed = m_.Timer3.interval() == 0;
    m_.Timer1.setInterval(1);
    return change;
}
