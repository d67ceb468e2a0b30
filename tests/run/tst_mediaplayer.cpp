#include "support/PrivateSoundServer.h"
#include "support/TestDatabase.h"

#include "data/TDataModule1.h"
#include "platform/Clock.h"
#include "platform/Timer.h"
#include "run/RunDisplay.h"
#include "run/Scheduler.h"
#include "run/SoundDevice.h"
#include "run/SoundError.h"
#include "run/SoundFile.h"
#include "schedule/DataScheduleRepository.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <sndfile.h>
#include <vector>

namespace {

QString errorOf(const std::function<void()> &operation)
{
    try {
        operation();
    } catch (const SoundError &error) {
        return error.text();
    }
    return "no error";
}

class NoDisplay final : public RunDisplay
{
public:
    void setPlayTime(const QString &) override {}
    bool memoIsEmpty() const override { return true; }
    void setMemoLine(const QString &) override {}
    void showPlayFailure(const QString &message) override { failures << message; }

    QStringList failures;
};

// A subject's run as the run window plays it: the real sound device, the
// system's clock and the play timers, the sound files in sounds.
struct RealRun
{
    RealRun(const QString &database, const QString &subject, const QDir &sounds)
        : data(database), instructions(DataScheduleRepository(data).subject(subject).instructions)
    {
        scheduler = std::make_unique<Scheduler>(
            Scheduler::Parts{device, Timer1, Timer3, clock, display,
                             [sounds](const QString &file) { return sounds.filePath(file); }});
        QObject::connect(&Timer1, &Timer::timeout, scheduler.get(), &Scheduler::Timer1Timer);
        QObject::connect(&Timer3, &Timer::timeout, scheduler.get(), &Scheduler::Timer3Timer);
    }

    TDataModule1 data;
    QList<Instruction> instructions;
    SoundDevice device;
    SystemClock clock;
    NoDisplay display;
    Timer Timer1;
    Timer Timer3;
    std::unique_ptr<Scheduler> scheduler;
};

// The seconds of the spied signals (their first argument).
QStringList secondsOf(const QSignalSpy &spy)
{
    QStringList seconds;
    for (const QList<QVariant> &signal : spy)
        seconds << signal.first().toTime().toString(Qt::ISODate);
    return seconds;
}

} // namespace

class tst_MediaPlayer : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    // A 1 kHz tone at half of full scale, or at the level given.
    QString tone(const QString &name, int subtype, int rate, int channels, qint64 frames,
                 float level = 0.5f)
    {
        const QString path = m_dir.filePath(name);
        SF_INFO info{0, rate, channels, SF_FORMAT_WAV | subtype, 0, 0};
        SNDFILE *file = openSoundFile(path, SFM_WRITE, &info);
        std::vector<float> samples(size_t(frames * channels));
        for (size_t i = 0; i < samples.size(); ++i)
            samples[i] = level * float(std::sin(2 * M_PI * 1000 * double(i / channels) / rate));
        sf_writef_float(file, samples.data(), frames);
        sf_close(file);
        return path;
    }

private slots:
    // Every encoding gives its length, and the samples handed to the output
    // keep the file's level: an integer file must not come out as full-scale
    // noise, nor a float one as near-silence.
    void everyEncoding_data()
    {
        QTest::addColumn<int>("subtype");
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("channels");
        QTest::addColumn<qint64>("frames");
        QTest::addColumn<qint64>("lengthMs");
        QTest::addColumn<QString>("name");
        QTest::newRow("8-bit mono")
            << int(SF_FORMAT_PCM_U8) << 8000 << 1 << 8000LL << 1000LL << "u8.wav";
        QTest::newRow("24-bit stereo")
            << int(SF_FORMAT_PCM_24) << 48000 << 2 << 12000LL << 250LL << "s24.wav";
        QTest::newRow("32-bit 96 kHz")
            << int(SF_FORMAT_PCM_32) << 96000 << 1 << 96000LL << 1000LL << "s32.wav";
        QTest::newRow("float stereo")
            << int(SF_FORMAT_FLOAT) << 22050 << 2 << 44100LL << 2000LL << "f32.wav";
        QTest::newRow("part millisecond truncated")
            << int(SF_FORMAT_PCM_16) << 8000 << 1 << 12345LL << 1543LL << "odd.wav";
        QTest::newRow("Chinese file name")
            << int(SF_FORMAT_PCM_16) << 11025 << 1 << 11025LL << 1000LL << "开始考试.wav";
        QTest::newRow("no frames") << int(SF_FORMAT_PCM_16) << 8000 << 1 << 0LL << 0LL << "0.wav";
    }
    void everyEncoding()
    {
        QFETCH(int, subtype);
        QFETCH(int, rate);
        QFETCH(int, channels);
        QFETCH(qint64, frames);
        QFETCH(QString, name);
        SoundDevice player;
        player.setFileName(tone(name, subtype, rate, channels, frames));
        player.open();
        QTEST(player.length(), "lengthMs");

        SoundFile file(player.fileName());
        QByteArray bytes(1000, '\0'); // not a whole number of frames
        qint64 total = 0;
        float peak = 0;
        while (const qint64 read = file.read(bytes.data(), bytes.size())) {
            total += read;
            for (qint64 at = 0; at < read; at += qint64(sizeof(float))) {
                float sample = 0;
                std::memcpy(&sample, bytes.data() + at, sizeof(sample));
                peak = std::max(peak, std::abs(sample));
            }
        }
        QCOMPARE(total, frames * channels * qint64(sizeof(float)));
        if (frames)
            QVERIFY2(peak > 0.45f && peak < 0.55f, QByteArray::number(peak));
    }

    void failedOpen_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("reason");
        QTest::newRow("missing") << "missing.wav" << QByteArray() << "No such file or directory";
        QTest::newRow("random bytes")
            << "noise.wav" << QByteArray("\x13\x37\xde\xad", 4).repeated(100)
            << "Format not recognised";
        QTest::newRow("header without data")
            << "header.wav"
            << QByteArray(
                   "RIFF\x24\0\0\0WAVEfmt \x10\0\0\0\1\0\1\0\x40\x1f\0\0\x80\x3e\0\0\2\0\x10\0", 36)
            << "No 'data' chunk marker";
        QTest::newRow("empty path") << "" << QByteArray() << "No such file or directory";
    }
    void failedOpen()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        QFETCH(QString, reason);
        const QString path = name.isEmpty() ? QString() : m_dir.filePath(name);
        if (!content.isEmpty()) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(content);
        }
        SoundDevice player;
        player.setFileName(tone("good.wav", SF_FORMAT_PCM_16, 8000, 1, 800));
        player.open();
        player.setFileName(path);
        const QString error = errorOf([&] { player.open(); });
        QVERIFY2(error.contains(reason), qPrintable(error));
        QVERIFY2(error.contains('"' + path + '"'), qPrintable(error));
        QVERIFY(!player.isOpen());
    }

    void openRules()
    {
        SoundDevice player;
        player.close();
        QCOMPARE(errorOf([&] { player.play(); }), "No sound device open");
        player.setFileName(tone("long.wav", SF_FORMAT_PCM_16, 8000, 1, 16000));
        player.open();
        player.setFileName(tone("short.wav", SF_FORMAT_PCM_16, 8000, 1, 4000));
        QCOMPARE(player.length(), 2000);
        player.open();
        QCOMPARE(player.length(), 500);
        player.close();
        player.close();
        QVERIFY(!player.isOpen());
        QCOMPARE(errorOf([&] { player.stop(); }), "No sound device open");
        QCOMPARE(errorOf([&] { player.length(); }), "No sound device open");
    }

    // A pending event run inside close() would re-enter the play tick that
    // closes the device, or a window being destroyed with it.
    void closeRunsNoPendingEvents()
    {
        SoundDevice player;
        player.setFileName(tone("a.wav", SF_FORMAT_PCM_16, 8000, 1, 8000));
        player.open();
        player.play();
        bool delivered = false;
        // Gone with the test, and the event with it: a later test's event
        // loop must not write into this one's stack.
        QObject context;
        QTimer::singleShot(0, &context, [&] { delivered = true; });
        player.close();
        QVERIFY(!delivered);
    }

    // The device and the count of outputs follow the sound server: a server
    // gone is reported at the next play (or by the sound it broke off), and
    // a server started late or again is played to at the next play.
    void followsTheServer_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::newRow("started after the device")
            << QStringList{"outputs 0", "play fails", "start", "outputs 1", "play"};
        QTest::newRow("killed between plays")
            << QStringList{"start", "play", "kill", "outputs 0", "play fails", "start", "play"};
        QTest::newRow("restarted between plays")
            << QStringList{"start", "play", "kill", "start", "play"};
        QTest::newRow("killed while playing")
            << QStringList{"start", "play long", "kill", "broke off", "start", "play"};
    }
    void followsTheServer()
    {
        QFETCH(QStringList, steps);
        REQUIRE_AUDIO(!QStandardPaths::findExecutable("pulseaudio").isEmpty(),
                      "pulseaudio is not installed");
        QTemporaryDir folder;
        PrivateSoundServer server(folder.path());
        SoundDevice player;
        const QString shortTone = tone("short.wav", SF_FORMAT_PCM_16, 44100, 1, 13230);
        const QString longTone = tone("long.wav", SF_FORMAT_PCM_16, 44100, 1, 441000);
        for (const QString &step : steps) {
            const QString where = "at " + step;
            if (step == "start") {
                QVERIFY2(server.start(), qPrintable(where));
            } else if (step == "kill") {
                server.kill();
            } else if (step.startsWith("outputs ")) {
                QVERIFY2(SystemSoundOutputs().count() == step.back().digitValue(),
                         qPrintable(where));
            } else if (step == "broke off") {
                QTRY_VERIFY2(!player.playFailure().isEmpty(), qPrintable(where));
            } else {
                player.setFileName(step == "play long" ? longTone : shortTone);
                player.open();
                player.play();
                if (step == "play fails") {
                    QVERIFY2(player.playFailure().contains(player.fileName()), qPrintable(where));
                } else {
                    QVERIFY2(player.playFailure().isEmpty(), qPrintable(player.playFailure()));
                    QVERIFY2(QTest::qWaitFor([&] { return server.heardSound(); }),
                             qPrintable(where));
                }
            }
        }
    }

#ifndef Q_OS_WIN
    // What a sound got ready ahead holds on the server, and which sound it
    // plays: a sound only opened (a run's first, far ahead) holds no stream,
    // nor does one got ready once the clock is set; one got ready is played
    // as it is, also when closed and opened again at its second; one whose
    // file was replaced since plays the file as it is.
    void aSoundGotReadyIsTheFileAsItIsNow_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::newRow("opened far ahead, nothing on the server")
            << QStringList{"write tone", "open", "streams 0", "play", "heard"};
        QTest::newRow("got ready, closed and opened again at its second")
            << QStringList{"write tone", "prepare", "open",        "streams 1", "close",
                           "open",       "play",    "same stream", "heard"};
        QTest::newRow("opened and got ready, then the clock set") << QStringList{
            "write tone", "open", "prepare", "streams 1", "forget", "streams 0", "play", "heard"};
        QTest::newRow("its file replaced after it was got ready") << QStringList{
            "write silence", "prepare", "streams 1", "write tone", "open", "play", "heard"};
        // The server killed and started again before the second: the sound
        // is ready on the new server as soon as it answers, not at the
        // second.
        QTest::newRow("got ready, its server restarted before the second")
            << QStringList{"write tone", "prepare", "streams 1", "kill", "start",
                           "streams 1",  "open",    "play",      "heard"};
        QTest::newRow("opened and got ready, its server restarted before the second")
            << QStringList{"write tone", "open",      "prepare", "streams 1", "kill",
                           "start",      "streams 1", "play",    "heard"};
        QTest::newRow("got ready, its server back only a while later")
            << QStringList{"write tone", "prepare",   "streams 1", "kill", "wait",
                           "start",      "streams 1", "open",      "play", "heard"};
    }
    void aSoundGotReadyIsTheFileAsItIsNow()
    {
        QFETCH(QStringList, steps);
        REQUIRE_AUDIO(!QStandardPaths::findExecutable("pulseaudio").isEmpty(),
                      "pulseaudio is not installed");
        QTemporaryDir folder;
        PrivateSoundServer server(folder.path());
        QVERIFY(server.start());
        const QString path = m_dir.filePath("instruction.wav");
        SoundDevice player;
        player.setFileName(path);
        const auto streams = [] {
            return PrivateSoundServer::pactl({"list", "short", "sink-inputs"})
                .split('\n', Qt::SkipEmptyParts);
        };
        QString stream;
        for (const QString &step : steps) {
            const QByteArray where = ("at " + step).toUtf8();
            if (step.startsWith("write ")) {
                // Copied in as a new file, as a file manager does.
                const QString written = tone("written.wav", SF_FORMAT_PCM_16, 44100, 1, 44100,
                                             step == "write tone" ? 0.5f : 0.0f);
                QFile::remove(path);
                QVERIFY2(QFile::rename(written, path), where);
            } else if (step == "kill") {
                server.kill();
            } else if (step == "start") {
                QVERIFY2(server.start(), where);
            } else if (step == "wait") {
                QTest::qWait(1000);
            } else if (step == "prepare") {
                player.prepare();
            } else if (step == "forget") {
                player.forgetPrepared();
            } else if (step == "open") {
                player.open();
            } else if (step == "close") {
                player.close();
            } else if (step == "play") {
                player.play();
                QVERIFY2(player.playFailure().isEmpty(), qPrintable(player.playFailure()));
            } else if (step == "streams 0") {
                QTest::qWait(300);
                QVERIFY2(streams().isEmpty(), qPrintable(streams().join('\n')));
            } else if (step == "streams 1") {
                QTRY_COMPARE(streams().size(), 1);
                stream = streams().first().section('\t', 0, 0);
            } else if (step == "same stream") {
                QTest::qWait(300);
                QCOMPARE(streams().size(), 1);
                QCOMPARE(streams().first().section('\t', 0, 0), stream);
            } else if (step == "heard") {
                QVERIFY2(QTest::qWaitFor([&] { return server.heardSound(); }), where);
            }
        }
    }

    // A server restarted in the last second before an instruction, after
    // its sound was got ready against the old one: at the second the sound
    // is got ready again at once on the new server and played, late as
    // that makes it, rather than failed.
    void aServerRestartedJustBeforeTheSecondIsPlayedTo()
    {
        REQUIRE_AUDIO(!QStandardPaths::findExecutable("pulseaudio").isEmpty(),
                      "pulseaudio is not installed");
        QTemporaryDir folder;
        PrivateSoundServer server(folder.path());
        QVERIFY(server.start());
        TestDatabase db;
        const QDateTime now = QDateTime::currentDateTime();
        const QDateTime second = now.addMSecs(5000 - now.time().msec());
        if (second.addSecs(5).date() != now.date())
            QSKIP("too close to midnight");
        tone("restarted.wav", SF_FORMAT_PCM_16, 44100, 1, 13230);
        db.addSound("语文", "restarted.wav", "", second.time());
        RealRun run(db.path(), QStringLiteral("语文"), QDir(m_dir.path()));
        Scheduler &scheduler = *run.scheduler;
        QSignalSpy played(&scheduler, &Scheduler::played);
        QSignalSpy failed(&scheduler, &Scheduler::failed);
        scheduler.start(run.instructions);
        // The run window's clock, which has the sound got ready, checks a
        // tenth of a second past each second: the last check before the
        // second comes before the server goes.
        QTest::qWait(int(QDateTime::currentDateTime().msecsTo(second.addMSecs(-3900))));
        QTimer clockTimer;
        clockTimer.setTimerType(Qt::PreciseTimer);
        connect(&clockTimer, &QTimer::timeout, &scheduler, &Scheduler::checkClock);
        clockTimer.start(1000);
        QTest::qWait(int(QDateTime::currentDateTime().msecsTo(second.addMSecs(-700))));
        server.kill();
        QVERIFY(server.start());
        QTRY_COMPARE_WITH_TIMEOUT(played.size() + failed.size(), 1, 5000);
        QVERIFY2(failed.isEmpty(), failed.isEmpty() ? "" : qPrintable(failed[0][2].toString()));
        QVERIFY(QTest::qWaitFor([&] { return server.heardSound(); }));
        // Late, and said to be as late as the sound was let go.
        QVERIFY(played[0][1].toLongLong() >= 0);
    }

    // A server that stops answering while a run waits for its next
    // instructions: each of them fails at its second with the message (no
    // sound can come out), none is lost as missed because a play waited for
    // the server, the clock goes on ticking meanwhile, and the first
    // instruction once the server answers again plays at its second.
    void aStalledServerFailsItsInstructionsAndHoldsUpNothing()
    {
        REQUIRE_AUDIO(!QStandardPaths::findExecutable("pulseaudio").isEmpty(),
                      "pulseaudio is not installed");
        QTemporaryDir folder;
        PrivateSoundServer server(folder.path());
        QVERIFY(server.start());
        TestDatabase db;
        const QDateTime now = QDateTime::currentDateTime();
        const QDateTime first = now.addMSecs(6000 - now.time().msec());
        if (first.addSecs(12).date() != now.date())
            QSKIP("too close to midnight");
        const QStringList files{"during.wav", "right after.wav", "once back.wav"};
        const QList<int> offsets{0, 1, 8};
        for (int i = 0; i < files.size(); ++i) {
            tone(files[i], SF_FORMAT_PCM_16, 44100, 1, 13230);
            db.addSound("语文", files[i], files[i], first.addSecs(offsets[i]).time());
        }
        RealRun run(db.path(), QStringLiteral("语文"), QDir(m_dir.path()));
        Scheduler &scheduler = *run.scheduler;
        // The run window's clock, which also has the next sound got ready.
        int clockTicks = 0;
        QTimer clockTimer;
        connect(&clockTimer, &QTimer::timeout, [&] {
            ++clockTicks;
            scheduler.checkClock();
        });
        clockTimer.start(1000);
        QSignalSpy played(&scheduler, &Scheduler::played);
        QSignalSpy missed(&scheduler, &Scheduler::missed);
        QSignalSpy failed(&scheduler, &Scheduler::failed);
        scheduler.start(run.instructions);

        // Stopped before the first sound is got ready, resumed after the
        // second instruction's second.
        QTest::qWait(int(QDateTime::currentDateTime().msecsTo(first.addSecs(-4))));
        server.stop();
        const int ticksBefore = clockTicks;
        QTest::qWait(int(QDateTime::currentDateTime().msecsTo(first.addSecs(3))));
        const int ticksWhileStopped = clockTicks - ticksBefore;
        server.resume();
        QVERIFY2(!server.heardSound(), "a sound came out of a stopped server");
        QTRY_COMPARE_WITH_TIMEOUT(played.size(), 1, 10000);

        QCOMPARE(secondsOf(failed), (QStringList{first.time().toString(Qt::ISODate),
                                                 first.addSecs(1).time().toString(Qt::ISODate)}));
        for (const QList<QVariant> &failure : failed)
            QCOMPARE(failure.at(3).value<Scheduler::Failure>(), Scheduler::Failure::Output);
        QCOMPARE(run.display.failures.size(), 2);
        QCOMPARE(secondsOf(missed), QStringList());
        QVERIFY2(ticksWhileStopped >= 3, qPrintable(QString::number(ticksWhileStopped)));
        QCOMPARE(secondsOf(played), QStringList{first.addSecs(8).time().toString(Qt::ISODate)});
        QVERIFY(QTest::qWaitFor([&] { return server.heardSound(); }));
    }
#endif

    void playsIntoTheSink_data()
    {
        QTest::addColumn<double>("seconds");
        QTest::newRow("2 s, closed while playing") << 2.0;
        QTest::newRow("50 ms, less than the output's start threshold") << 0.05;
    }
    void playsIntoTheSink()
    {
        QFETCH(double, seconds);
        REQUIRE_AUDIO(SystemSoundOutputs().count() > 0, "no sound output");
        REQUIRE_AUDIO(PrivateSoundServer::sinkLatencyUs("testsink") >= 0,
                      "no PulseAudio null sink named testsink");
        QProcess recorder;
        recorder.start("parec", {"--device=testsink.monitor", "--raw", "--format=s16le",
                                 "--channels=1", "--latency-msec=5"});
        QVERIFY(recorder.waitForStarted());
        // An idle null sink renders far ahead until a low-latency recorder is
        // attached; what it records then is not what plays now.
        QTRY_VERIFY_WITH_TIMEOUT(PrivateSoundServer::sinkLatencyUs("testsink") < 20000, 10000);

        SoundDevice player;
        player.setFileName(tone("tone.wav", SF_FORMAT_PCM_16, 44100, 1, qint64(44100 * seconds)));
        player.open();
        recorder.readAllStandardOutput();
        QElapsedTimer timer;
        timer.start();
        const qint64 calledMs = QDateTime::currentMSecsSinceEpoch();
        player.play();
        const qint64 returnedMs = QDateTime::currentMSecsSinceEpoch();
        // A play that waited for its sound would take its 2 s; a loaded
        // machine may hold the call a few hundred ms without that.
        QVERIFY2(timer.elapsed() < 1000, "play() waited for the sound");
        QCOMPARE(player.playFailure(), QString());
        // The start is heard once play() was called, and not a second after.
        const qint64 heardUs = returnedMs * 1000 + player.startHeardUs();
        QVERIFY2(heardUs >= calledMs * 1000 && heardUs < (returnedMs + 1000) * 1000,
                 qPrintable(QString::number(heardUs - calledMs * 1000)));
        QTest::qWait(600);
        QVERIFY(PrivateSoundServer::loudSamples(recorder.readAllStandardOutput()) > 0);
        if (seconds > 1) {
            player.close();
            QTest::qWait(150);
            recorder.readAllStandardOutput();
            QTest::qWait(500);
            QCOMPARE(PrivateSoundServer::loudSamples(recorder.readAllStandardOutput()), 0);
        }
        recorder.kill();
        recorder.waitForFinished();
    }
};

QTEST_GUILESS_MAIN(tst_MediaPlayer)
#include "tst_mediaplayer.moc"
