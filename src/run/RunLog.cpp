#include "run/RunLog.h"

#include "platform/Clock.h"
#include "run/RunLogWriter.h"

#include <QFileInfo>
#include <QRegularExpression>

namespace {

QString stamp(const QDateTime &time)
{
    // With its offset, so that the repeated hour of a daylight-saving day
    // still reads unambiguously.
    return time.toOffsetFromUtc(time.offsetFromUtc()).toString(Qt::ISODateWithMs);
}

QString second(const QTime &time)
{
    return time.toString(QStringLiteral("HH:mm:ss"));
}

} // namespace

RunLog::RunLog(const Clock &clock, const QString &folder, QObject *parent)
    : QObject(parent), m_clock(clock),
      m_path(folder + QLatin1Char('/') + clock.now().date().toString(QStringLiteral("yyyy-MM-dd")) +
             QStringLiteral(".log")),
      m_writer(std::make_unique<RunLogWriter>(folder, m_path, [this](const QString &reason) {
          QMetaObject::invokeMethod(
              this, [this, reason] { fail(reason); }, Qt::QueuedConnection);
      }))
{}

RunLog::~RunLog() = default;

QString RunLog::folderIn(const QString &dataFolder)
{
    return dataFolder + QStringLiteral("/run-log");
}

void RunLog::follow(const Scheduler &scheduler, std::function<QString(const QString &)> named)
{
    const auto as = [named = std::move(named)](const QString &file) {
        return named ? named(file) : file;
    };
    connect(&scheduler, &Scheduler::played, this,
            [this, as](const QTime &second, qint64 delayMs, const QString &file) {
                played(second, delayMs, as(file));
            });
    connect(&scheduler, &Scheduler::missed, this,
            [this, as](const QTime &second, const QString &file) { missed(second, as(file)); });
    connect(&scheduler, &Scheduler::failed, this,
            [this, as](const QTime &second, const QString &file, const QString &reason,
                       Scheduler::Failure failure) { failed(second, as(file), reason, failure); });
    connect(&scheduler, &Scheduler::clockStepSeen, this, &RunLog::clockStepped);
}

void RunLog::follow(const Announcer &announcer)
{
    connect(&announcer, &Announcer::started, this,
            [this](const Announcer::Announcement &announcement, qint64 delayMs) {
                announced(QStringLiteral("played"), announcement, delayMs, announcement.text);
            });
    connect(&announcer, &Announcer::failed, this,
            [this](const Announcer::Announcement &announcement, const QString &reason) {
                announced(QStringLiteral("failed"), announcement, {},
                          QStringLiteral("声音输出失败：") + reason);
            });
    connect(&announcer, &Announcer::missed, this,
            [this](const Announcer::Announcement &announcement) {
                announced(QStringLiteral("missed"), announcement, {}, announcement.text);
            });
}

void RunLog::announced(const QString &what, const Announcer::Announcement &announcement,
                       std::optional<qint64> delayMs, const QString &reason)
{
    const QString kind = QStringLiteral("announcement ") + what;
    QStringList fields{kind, QStringLiteral("#%1").arg(announcement.id),
                       second(announcement.second)};
    if (delayMs)
        fields << QStringLiteral("%1%2 ms")
                      .arg(*delayMs < 0 ? QString() : QStringLiteral("+"))
                      .arg(*delayMs);
    write(fields << announcement.file << reason);
    tell({.kind = kind,
          .second = announcement.second,
          .delayMs = delayMs,
          .file = announcement.file,
          .reason = reason,
          .announcement = announcement.id});
}

void RunLog::cutOff(const QTime &time, const QString &file, const QString &by,
                    std::optional<qint64> announcement)
{
    write({QStringLiteral("cut off"), second(time), file, by});
    tell({.kind = QStringLiteral("cut off"),
          .second = time,
          .file = file,
          .reason = by,
          .announcement = announcement});
}

void RunLog::started(const QString &subject, int instructions)
{
    write({QStringLiteral("run started"), subject,
           QStringLiteral("%1 instructions").arg(instructions)});
    tell({.kind = QStringLiteral("run started"), .subject = subject});
}

void RunLog::clockHealth(const ClockHealth::Reading &reading)
{
    write({QStringLiteral("clock"), reading.text()});
    tell({.kind = QStringLiteral("clock"), .reason = reading.text()});
}

void RunLog::played(const QTime &time, qint64 delayMs, const QString &file)
{
    write(
        {QStringLiteral("played"), second(time),
         QStringLiteral("%1%2 ms").arg(delayMs < 0 ? QString() : QStringLiteral("+")).arg(delayMs),
         file});
    tell({.kind = QStringLiteral("played"), .second = time, .delayMs = delayMs, .file = file});
    noteOutput(Output::Working);
}

void RunLog::missed(const QTime &time, const QString &file)
{
    write({QStringLiteral("missed"), second(time), file});
    tell({.kind = QStringLiteral("missed"), .second = time, .file = file});
}

void RunLog::failed(const QTime &time, const QString &file, const QString &reason,
                    Scheduler::Failure failure)
{
    // What happened in the reader's words first, the sound library's or
    // the sound server's own text after it, as for database errors.
    const QString shown =
        (failure == Scheduler::Failure::File ? QStringLiteral("声音文件无法播放：")
                                             : QStringLiteral("声音输出失败：")) +
        reason;
    write({QStringLiteral("failed"), second(time), file, shown});
    tell({.kind = QStringLiteral("failed"), .second = time, .file = file, .reason = shown});
    if (failure == Scheduler::Failure::Output)
        noteOutput(Output::Lost, reason);
}

void RunLog::clockStepped(const QDateTime &from, const QDateTime &to)
{
    write({QStringLiteral("clock step"), stamp(from), stamp(to)});
    tell({.kind = QStringLiteral("clock step"),
          .reason = stamp(from) + QStringLiteral(" -> ") + stamp(to)});
}

void RunLog::scheduleChanged(const QString &what)
{
    write({QStringLiteral("schedule changed"), what});
    tell({.kind = QStringLiteral("schedule changed"), .reason = what});
}

void RunLog::ended(End how)
{
    const QString word = how == End::Stopped ? QStringLiteral("stopped") : QStringLiteral("closed");
    write({QStringLiteral("run ended"), word});
    tell({.kind = QStringLiteral("run ended"), .reason = word});
}

void RunLog::noteOutput(Output state, const QString &reason)
{
    // Lost also before any play: a later play then says it is back.
    if (m_output != Output::Lost && state == Output::Lost) {
        write({QStringLiteral("sound output lost"), reason});
        tell({.kind = QStringLiteral("sound output lost"), .reason = reason});
    } else if (m_output == Output::Lost && state == Output::Working) {
        write({QStringLiteral("sound output back")});
        tell({.kind = QStringLiteral("sound output back")});
    }
    m_output = state;
}

void RunLog::tell(RunEvent event)
{
    if (!m_observer)
        return;
    event.at = m_clock.now();
    m_observer(event);
}

void RunLog::write(QStringList fields)
{
    if (m_broken)
        return;
    // A tab or line break inside a subject or a file name must not split
    // its line.
    static const QRegularExpression breaks(QStringLiteral("[\t\r\n]"));
    for (QString &field : fields)
        field.replace(breaks, QStringLiteral(" "));
    fields.prepend(stamp(m_clock.now()));
    m_writer->append((fields.join(QLatin1Char('\t')) + QLatin1Char('\n')).toUtf8());
}

void RunLog::fail(const QString &reason)
{
    m_broken = true;
    emit unwritable(path(), reason);
}
