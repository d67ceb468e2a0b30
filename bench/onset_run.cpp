#include "onset.h"

#include "data/Schema.h"
#include "data/Statements.h"
#include "data/TDataModule1.h"
#include "platform/Clock.h"
#include "platform/Timer.h"
#include "run/RunDisplay.h"
#include "run/RunLog.h"
#include "run/Scheduler.h"
#include "run/SoundDevice.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QTextStream>
#include <QTimer>
#include <cmath>
#include <functional>
#include <optional>
#include <sndfile.h>
#include <stdexcept>
#include <vector>

namespace {

const QString Subject = QStringLiteral("Onset benchmark");
constexpr int FollowingCount = 10;
constexpr int FollowingGapSeconds = 2;

// A 300 ms 1 kHz burst that starts at its crest: its onset is its first
// sample rather than the slope of a rising sine.
void writeBurst(const QString &path)
{
    SF_INFO info{0, Onset::Rate, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 0, 0};
    SNDFILE *file = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
    if (!file)
        throw std::runtime_error(path.toStdString() + ": " + sf_strerror(nullptr));
    std::vector<short> samples(Onset::Rate * 3 / 10);
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] =
            short(std::lround(16384 * std::cos(2 * M_PI * 1000 * double(i) / Onset::Rate)));
    const sf_count_t written = sf_writef_short(file, samples.data(), sf_count_t(samples.size()));
    sf_close(file);
    if (written != sf_count_t(samples.size()))
        throw std::runtime_error(path.toStdString() + ": short write");
}

void execute(Query &query, const Statement &statement)
{
    query.replace(statement);
    query.execute();
}

class BenchDisplay final : public RunDisplay
{
public:
    void setPlayTime(const QString &) override {}
    bool memoIsEmpty() const override { return m_memo.isEmpty(); }
    void setMemoLine(const QString &line) override { m_memo = line; }
    void showPlayFailure(const QString &message) override { failures.append(message); }

    QStringList failures;

private:
    QString m_memo;
};

// The real device, noting when the scheduler asks it to play, so that the
// onset error can be split into the scheduler's part and the sound path's.
class TimedPlayer final : public MediaPlayer
{
public:
    struct Play
    {
        QString file;
        qint64 tick;
        qint64 called;
        qint64 returned;
        QString failure;
    };

    void setTimeFormatMilliseconds() override { m_device.setTimeFormatMilliseconds(); }
    void setFileName(const QString &path) override { m_device.setFileName(path); }
    QString fileName() const override { return m_device.fileName(); }
    bool isOpen() const override { return m_device.isOpen(); }
    void open() override { m_device.open(); }
    void close() override { m_device.close(); }
    void stop() override { m_device.stop(); }
    void play() override
    {
        const qint64 called = Onset::wallMicros();
        m_device.play();
        plays.push_back(
            {m_device.fileName(), lastTick, called, Onset::wallMicros(), m_device.playFailure()});
    }
    qint64 length() const override { return m_device.length(); }
    QString playFailure() const override { return m_device.playFailure(); }

    qint64 lastTick = 0;
    std::vector<Play> plays;

private:
    SoundDevice m_device;
};

// Runs work from the event loop; a failure ends the run instead of
// escaping into Qt.
void guard(const std::function<void()> &work)
{
    try {
        work();
    } catch (const std::exception &error) {
        QTextStream(stderr) << "onset run failed: " << error.what() << "\n";
        QCoreApplication::exit(1);
    }
}

QString fileOf(int number)
{
    return QStringLiteral("onset-%1.wav").arg(number, 2, 10, QLatin1Char('0'));
}

// The seconds of the instructions, or none when the run would cross midnight:
// play times are times of day, which midnight would put out of order.
std::vector<QDateTime> schedule(int leadSeconds)
{
    QDateTime now = QDateTime::currentDateTime();
    now.setTime(QTime(now.time().hour(), now.time().minute(), now.time().second()));
    std::vector<QDateTime> targets;
    for (int i = 0; i <= FollowingCount; ++i)
        targets.push_back(now.addSecs(leadSeconds + 1 + i * FollowingGapSeconds));
    if (targets.back().addSecs(5).date() != now.date())
        targets.clear();
    return targets;
}

void createSubject(TDataModule1 &data, const QString &folder, const std::vector<QDateTime> &targets)
{
    QDir(folder).mkpath(QStringLiteral("sound"));
    QSqlDatabase db = data.connection();
    Schema::createSchema(db, Subject);
    execute(data.ADOQuery1, Statements::insertSubject(Subject, targets.front().addSecs(-60),
                                                      targets.back().addSecs(60)));
    for (size_t i = 0; i < targets.size(); ++i) {
        const QString file = fileOf(int(i) + 1);
        writeBurst(folder + QStringLiteral("/sound/") + file);
        execute(data.ADOQuery1,
                Statements::insertSound(Subject, file, QStringLiteral("Instruction %1").arg(i + 1),
                                        targets[i].time()));
    }
}

// One line per instruction: number, target, and the first play of its file
// (tick, play() called, play() returned, all microseconds since the epoch)
// with the number of plays.
bool writeInstructions(const QString &folder, const std::vector<QDateTime> &targets,
                       const TimedPlayer &device)
{
    QFile out(folder + '/' + Onset::InstructionsFile);
    if (!out.open(QIODevice::WriteOnly)) {
        QTextStream(stderr) << out.fileName() << ": cannot write\n";
        return false;
    }
    QTextStream lines(&out);
    bool refused = false;
    for (size_t i = 0; i < targets.size(); ++i) {
        const QString path = folder + QStringLiteral("/sound/") + fileOf(int(i) + 1);
        int count = 0;
        TimedPlayer::Play play{};
        for (const TimedPlayer::Play &candidate : device.plays) {
            if (candidate.file == path && count++ == 0)
                play = candidate;
        }
        if (!play.failure.isEmpty()) {
            QTextStream(stderr) << "onset run: " << play.failure << "\n";
            refused = true;
        }
        lines << i + 1 << ' ' << targets[i].toMSecsSinceEpoch() * 1000 << ' ' << play.tick << ' '
              << play.called << ' ' << play.returned << ' ' << count << '\n';
    }
    return !refused;
}

} // namespace

int Onset::run(const QString &folder, int leadSeconds, bool withLog)
{
    const std::vector<QDateTime> targets = schedule(leadSeconds);
    if (targets.empty()) {
        QTextStream(stderr) << "onset run: too close to midnight, try again after it\n";
        return 1;
    }
    try {
        const QString dbPath = folder + QStringLiteral("/onset.db");
        // The data module opens only a file that exists; an empty file is an
        // empty database.
        QFile(dbPath).open(QIODevice::WriteOnly);
        TDataModule1 data(dbPath);
        createSubject(data, folder, targets);

        // Wired as the run window wires it.
        TimedPlayer device;
        BenchDisplay display;
        SystemClock clock;
        Timer Timer1;
        Timer Timer3;
        data.ADOQuery10.replace(Statements::selectSoundsByPlaytime(Subject));
        data.ADOQuery10.open();
        Scheduler scheduler(
            {data.ADOQuery10, device, Timer1, Timer3, clock, display,
             [&folder](const QString &file) { return folder + QStringLiteral("/sound/") + file; }});
        QObject::connect(&Timer1, &Timer::timeout, &scheduler, [&] {
            device.lastTick = wallMicros();
            guard([&] { scheduler.Timer1Timer(); });
        });
        QObject::connect(&Timer3, &Timer::timeout, &scheduler,
                         [&] { guard([&] { scheduler.Timer3Timer(); }); });
        std::optional<RunLog> log;
        if (withLog) {
            log.emplace(clock, folder + QStringLiteral("/run-log"));
            log->follow(scheduler);
            QObject::connect(&*log, &RunLog::unwritable, [](const QString &path) {
                QTextStream(stderr) << "onset run: cannot write " << path << "\n";
            });
            log->started(Subject, data.ADOQuery10.recordCount());
        }
        device.setTimeFormatMilliseconds();
        scheduler.start();
        // The device is closed a while before the end: Qt Multimedia (6.4) tears
        // its sound server connection down at exit while its own thread may
        // still be handling the news of a stream just closed, and aborts.
        QTimer::singleShot(
            QDateTime::currentDateTime().msecsTo(targets.back()) + 1500, &scheduler, [&device] {
                device.close();
                QTimer::singleShot(500, QCoreApplication::instance(), &QCoreApplication::quit);
            });
        if (const int status = QCoreApplication::exec(); status != 0)
            return status;
        if (log)
            log->ended(RunLog::End::Closed);

        for (const QString &failure : display.failures)
            QTextStream(stderr) << "onset run: the run showed: " << failure << "\n";
        return writeInstructions(folder, targets, device) && display.failures.isEmpty() ? 0 : 1;
    } catch (const std::exception &error) {
        QTextStream(stderr) << "onset run failed: " << error.what() << "\n";
        return 1;
    }
}
