#include "onset.h"

#include "app/Shell.h"
#include "controls/TFlatComboBox.h"
#include "data/Session.h"
#include "data/TDataModule1.h"
#include "onset_quiet.h"
#include "platform/Clock.h"
#include "platform/Platform.h"
#include "platform/RegionalFormats.h"
#include "platform/SystemSleepInhibitor.h"
#include "platform/Timer.h"
#include "run/RunDisplay.h"
#include "run/RunLog.h"
#include "run/Scheduler.h"
#include "run/SoundDevice.h"
#include "run/SoundFile.h"
#include "schedule/DataScheduleRepository.h"
#include "schedule/ScheduleTables.h"
#include "schedule/Statements.h"
#include "support/FakeClockHealth.h"
#include "support/FakeClockSetter.h"
#include "support/FakeFileDialog.h"
#include "support/FakeMessageBoxes.h"
#include "ui/main/TFrm_main.h"
#include "ui/run/TFrm_Subject.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QPushButton>
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

const QString BenchSubject = QStringLiteral("Onset benchmark");
constexpr int GapSeconds = 2;
// Between instructions the sound has ended and the wait for the next one has
// not yet begun its last approach.
constexpr qint64 QuietFromUs = 800'000;
constexpr qint64 QuietUntilUs = 100'000;
// The wait for the first instruction, as between two instructions minutes
// apart: from when the run has settled until before the wait's last approach
// a second ahead.
constexpr qint64 WaitFromUs = 2'000'000;
constexpr qint64 WaitUntilUs = 1'500'000;

// A 300 ms burst that is loud from its first sample, so that its onset is
// that sample rather than the slope of a rising sine: the ramp, then a 1 kHz
// tone from its crest.
void writeBurst(const QString &path)
{
    SF_INFO info{0, Onset::Rate, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 0, 0};
    SNDFILE *file = openSoundFile(path, SFM_WRITE, &info);
    if (!file)
        throw std::runtime_error(path.toStdString() + ": " + sf_strerror(nullptr));
    std::vector<short> samples(Onset::Rate * 3 / 10);
    for (size_t i = 0; i < samples.size(); ++i) {
        const int tone = int(i) - Onset::RampSamples;
        samples[i] = tone < 0 ? short(Onset::RampFrom + Onset::RampStep * int(i))
                              : short(std::lround(16384 * std::cos(2 * M_PI * 1000 * double(tone) /
                                                                   Onset::Rate)));
    }
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
        // When the device says the sound's start is heard.
        qint64 heard;
        QString failure;
    };

    void setTimeFormatMilliseconds() override { m_device.setTimeFormatMilliseconds(); }
    void setFileName(const QString &path) override { m_device.setFileName(path); }
    QString fileName() const override { return m_device.fileName(); }
    void prepare() override { m_device.prepare(); }
    void forgetPrepared() override { m_device.forgetPrepared(); }
    bool isOpen() const override { return m_device.isOpen(); }
    void open() override { m_device.open(); }
    void close() override { m_device.close(); }
    void stop() override { m_device.stop(); }
    explicit TimedPlayer(std::vector<Play> &plays) : m_plays(plays) {}

    void play() override
    {
        const qint64 called = Onset::wallMicros();
        m_device.play();
        const qint64 returned = Onset::wallMicros();
        // The run window's tick is not seen from outside: the call stands for it.
        m_plays.push_back({m_device.fileName(), lastTick != 0 ? lastTick : called, called, returned,
                           returned / 1000 * 1000 + m_device.startHeardUs(),
                           m_device.playFailure()});
    }
    qint64 length() const override { return m_device.length(); }
    QString playFailure() const override { return m_device.playFailure(); }
    qint64 startHeardUs() const override { return m_device.startHeardUs(); }

    qint64 lastTick = 0;

private:
    std::vector<Play> &m_plays;
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
std::vector<QDateTime> schedule(int leadSeconds, int count)
{
    QDateTime now = QDateTime::currentDateTime();
    now.setTime(QTime(now.time().hour(), now.time().minute(), now.time().second()));
    std::vector<QDateTime> targets;
    for (int i = 0; i < count; ++i)
        targets.push_back(now.addSecs(leadSeconds + 1 + i * GapSeconds));
    if (targets.back().addSecs(5).date() != now.date())
        targets.clear();
    return targets;
}

void createSubject(TDataModule1 &data, const QString &folder, const std::vector<QDateTime> &targets)
{
    QDir(folder).mkpath(QStringLiteral("sound"));
    data.use(TDataModule1::Access::Write, [](Session &session) {
        QSqlDatabase db = session.db();
        ScheduleTables::create(db, BenchSubject);
    });
    execute(data.ADOQuery1, Statements::insertSubject(BenchSubject, targets.front().addSecs(-60),
                                                      targets.back().addSecs(60)));
    for (size_t i = 0; i < targets.size(); ++i) {
        const QString file = fileOf(int(i) + 1);
        writeBurst(folder + QStringLiteral("/sound/") + file);
        execute(data.ADOQuery1, Statements::insertSound(BenchSubject, file,
                                                        QStringLiteral("Instruction %1").arg(i + 1),
                                                        targets[i].time()));
    }
}

// One line per instruction: number, target, and the first play of its file
// (tick, play() called, play() returned, its start heard by the device's
// account, all microseconds since the epoch) with the number of plays.
bool writeInstructions(const QString &folder, const std::vector<QDateTime> &targets,
                       const std::vector<TimedPlayer::Play> &plays)
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
        for (const TimedPlayer::Play &candidate : plays) {
            if (candidate.file == path && count++ == 0)
                play = candidate;
        }
        if (!play.failure.isEmpty()) {
            QTextStream(stderr) << "onset run: " << play.failure << "\n";
            refused = true;
        }
        lines << i + 1 << ' ' << targets[i].toMSecsSinceEpoch() * 1000 << ' ' << play.tick << ' '
              << play.called << ' ' << play.returned << ' ' << play.heard << ' ' << count << '\n';
    }
    return !refused;
}

std::vector<QuietMeter::Stretch> quietStretches(const std::vector<QDateTime> &targets)
{
    std::vector<QuietMeter::Stretch> stretches;
    for (size_t i = 0; i + 1 < targets.size(); ++i)
        stretches.push_back({targets[i].toMSecsSinceEpoch() * 1000 + QuietFromUs,
                             targets[i + 1].toMSecsSinceEpoch() * 1000 - QuietUntilUs});
    return stretches;
}

// Ends the event loop a while after the last instruction, once finish has run.
void endAfter(const QDateTime &last, QObject *context, const std::function<void()> &finish)
{
    QTimer::singleShot(QDateTime::currentDateTime().msecsTo(last) + 1500, context, [finish] {
        finish();
        QTimer::singleShot(500, QCoreApplication::instance(), &QCoreApplication::quit);
    });
}

// The scheduler alone, wired as the run window wires it.
QStringList runScheduler(TDataModule1 &data, const QString &folder, const QDateTime &last,
                         std::vector<TimedPlayer::Play> &plays, bool withLog)
{
    TimedPlayer device(plays);
    BenchDisplay display;
    SystemClock clock;
    Timer Timer1;
    Timer Timer3;
    const QList<Instruction> instructions =
        DataScheduleRepository(data).subject(BenchSubject).instructions;
    Scheduler scheduler({device, Timer1, Timer3, clock, display, [&folder](const QString &file) {
                             return folder + QStringLiteral("/sound/") + file;
                         }});
    QObject::connect(&Timer1, &Timer::timeout, &scheduler, [&] {
        device.lastTick = Onset::wallMicros();
        guard([&] { scheduler.Timer1Timer(); });
    });
    QObject::connect(&Timer3, &Timer::timeout, &scheduler,
                     [&] { guard([&] { scheduler.Timer3Timer(); }); });
    // The run window's clock, which also has each sound got ready ahead.
    Timer clockTick(1000);
    QObject::connect(&clockTick, &Timer::timeout, &scheduler,
                     [&] { guard([&] { scheduler.checkClock(); }); });
    std::optional<RunLog> log;
    if (withLog) {
        log.emplace(clock, folder + QStringLiteral("/run-log"));
        log->follow(scheduler);
        QObject::connect(&*log, &RunLog::unwritable, [](const QString &path) {
            QTextStream(stderr) << "onset run: cannot write " << path << "\n";
        });
        log->started(BenchSubject, int(instructions.size()));
    }
    device.setTimeFormatMilliseconds();
    scheduler.start(instructions);
    endAfter(last, &scheduler, [&device] { device.close(); });
    if (QCoreApplication::exec() != 0)
        throw std::runtime_error("the run ended early");
    if (log)
        log->ended(RunLog::End::Closed);
    return display.failures;
}

// The program as a user meets it: the main window, its subject chosen, opens
// the run window, which plays through the real device until it is closed.
QStringList runWindow(TDataModule1 &data, const QString &folder, const QDateTime &last,
                      std::vector<TimedPlayer::Play> &plays)
{
    SystemClock clock;
    FakeClockSetter clockSetter;
    FakeMessageBoxes boxes;
    FakeFileDialog fileDialog;
    SystemSoundOutputs soundOutputs;
    const RegionalFormats formats;
    SystemSleepInhibitor sleepInhibitor;
    const FakeClockHealth clockHealth;
    Platform platform{clock,
                      clockSetter,
                      boxes,
                      fileDialog,
                      soundOutputs,
                      formats,
                      [&plays] { return std::make_unique<TimedPlayer>(plays); },
                      folder,
                      sleepInhibitor,
                      clockHealth};
    // The candidates' screen, on the one offscreen screen.
    platform.screen = QStringLiteral("1");
    Shell shell(platform, data);
    TFrm_main *main = shell.create(shell.Frm_main);
    main->show();
    main->ComboBox1->setCurrentIndex(main->ComboBox1->findText(BenchSubject));
    main->FBtn_ok->click();
    if (!shell.Frm_Subject)
        throw std::runtime_error("the run window did not open");
    endAfter(last, &shell, [&shell] { shell.Frm_Subject->close(); });
    if (QCoreApplication::exec() != 0)
        throw std::runtime_error("the run ended early");
    return boxes.texts() + boxes.notices;
}

} // namespace

int Onset::run(const QString &folder, int leadSeconds, int count, Mode mode)
{
    const std::vector<QDateTime> targets = schedule(leadSeconds, count);
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

        std::vector<TimedPlayer::Play> plays;
        const qint64 nowUs = QDateTime::currentMSecsSinceEpoch() * 1000;
        QuietMeter waiting(
            {{nowUs + WaitFromUs, targets.front().toMSecsSinceEpoch() * 1000 - WaitUntilUs}},
            QStringLiteral("of the wait for the first instruction"));
        QuietMeter quiet(quietStretches(targets), QStringLiteral("between instructions"));
        const QStringList failures =
            mode == Mode::Window
                ? runWindow(data, folder, targets.back(), plays)
                : runScheduler(data, folder, targets.back(), plays, mode == Mode::Logged);
        waiting.print();
        quiet.print();
        for (const QString &failure : failures)
            QTextStream(stderr) << "onset run: the run showed: " << failure << "\n";
        return writeInstructions(folder, targets, plays) && failures.isEmpty() ? 0 : 1;
    } catch (const std::exception &error) {
        QTextStream(stderr) << "onset run failed: " << error.what() << "\n";
        return 1;
    }
}
