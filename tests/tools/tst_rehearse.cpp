#include "support/Engines.h"
#include "support/FakeClock.h"
#include "support/FakeMediaPlayer.h"
#include "support/TestDatabase.h"
#include "support/TestSounds.h"

#include "tessivox-db/DatabaseTool.h"
#include "tessivox-db/OutcomeRecorder.h"
#include "tessivox-db/RecordingDisplay.h"
#include "tessivox-db/RecordingPlayer.h"
#include "tessivox-db/Rehearsal.h"
#include "tessivox-db/ScheduleReader.h"

#include "data/TDataModule1.h"
#include "platform/Timer.h"
#include "run/Scheduler.h"
#include "schedule/DataScheduleRepository.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

namespace {

const QString SubjectName = QStringLiteral("语文");

QTime timeOf(const QString &text)
{
    return QTime::fromString(text, QStringLiteral("HH:mm:ss.zzz"));
}

// A subject's rows ("08:00:00|a.wav|explanation") in a real database, and its
// sound files ("a.wav=20000" for that many ms of silence, "b.wav=broken").
struct Exam
{
    Exam(const QString &start, const QStringList &rows, const QStringList &sounds)
    {
        if (!start.isEmpty())
            db.addSubject(SubjectName, start, start);
        for (const QString &row : rows)
            db.addSound(SubjectName, row.section('|', 1, 1), row.section('|', 2),
                        row.section('|', 0, 0));
        for (const QString &sound : sounds) {
            const QString length = sound.section('=', 1);
            if (length == QLatin1String("broken"))
                TestSounds::writeGarbage(path(sound.section('=', 0, 0)));
            else
                TestSounds::writeSilence(path(sound.section('=', 0, 0)), length.toLongLong());
        }
    }

    QString path(const QString &file) const { return folder + '/' + file; }

    TestDatabase db;
    QString folder = db.dir() + QStringLiteral("/sound");
};

// The scheduler as tst_scheduler drives it: a recording fake device, a clock
// that moves only when told and ticks called by hand, here at the moments the
// real timers would fire.
class HandDriven
{
public:
    HandDriven(const Exam &exam, const QStringList &sounds)
        : data(exam.db.path()),
          scheduler({device, Timer1, Timer3, clock, display,
                     [&exam](const QString &file) { return exam.path(file); }})
    {
        for (const QString &sound : sounds) {
            const QString path = exam.path(sound.section('=', 0, 0));
            if (sound.section('=', 1) == QLatin1String("broken"))
                fake.openFailsFor.insert(path);
            else
                fake.lengths.insert(path, sound.section('=', 1).toLongLong());
        }
    }

    // "start T", "play T" (a play timer tick), "switch T" (a display-switch
    // tick).
    void step(const QString &step)
    {
        const QString what = step.section(' ', 0, 0);
        clock.setTime(timeOf(step.section(' ', 1)));
        if (what == QLatin1String("start")) {
            scheduler.start(DataScheduleRepository(data).subject(SubjectName).instructions);
        } else if (what == QLatin1String("play")) {
            scheduler.Timer1Timer();
        } else {
            scheduler.Timer3Timer();
        }
    }

    TDataModule1 data;
    FakeClock clock;
    FakeMediaPlayer fake;
    Timeline timeline;
    RecordingPlayer device{fake, clock, timeline};
    RecordingDisplay display{clock, timeline};
    Timer Timer1;
    Timer Timer3;
    Scheduler scheduler;
    OutcomeRecorder outcomes{scheduler, device, clock, timeline};
};

// Events as comparable lines; the reason of a failure is the decoder's in the
// one and the fake's in the other.
QStringList lines(const Timeline &timeline)
{
    QStringList lines;
    for (const TimelineEvent &event : timeline) {
        lines << QStringLiteral("%1 %2 %3 %4 %5")
                     .arg(event.at.time().toString(QStringLiteral("HH:mm:ss.zzz")))
                     .arg(int(event.kind))
                     .arg(event.file.section('/', -1),
                          event.kind == TimelineEvent::Kind::Failed ? QString() : event.text)
                     .arg(event.ms);
    }
    return lines;
}

} // namespace

class tst_Rehearse : public QObject
{
    Q_OBJECT

private slots:
    void agreesWithTheSchedulerDrivenByHand_data()
    {
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<QStringList>("sounds");
        QTest::addColumn<QStringList>("script");

        QTest::newRow("the worked example from 07:50")
            << QStringList{"08:00:00|a.wav|A", "09:45:00|b.wav|B", "10:00:00|c.wav|C"}
            << QStringList{"a.wav=20000", "b.wav=10000", "c.wav=15000"}
            << QStringList{"start 07:50:00.000", "play 08:00:00.000", "play 08:00:00.001",
                           "switch 08:00:20.000", "play 09:45:00.000", "play 09:45:00.001",
                           "switch 09:45:10.000",
                           // C plays; the peek reads C itself, 0 ms away: no switch.
                           "play 10:00:00.000", "play 10:00:00.001", "play 10:00:00.002"};
        QTest::newRow("a missed first, equal times, a broken file cutting one off")
            << QStringList{"08:00:00|first.wav|1", "08:00:05|long.wav|2", "08:00:05|same.wav|3",
                           "08:00:07|broken.wav|4", "08:00:09|last.wav|5"}
            << QStringList{"first.wav=1000", "long.wav=4000", "same.wav=1000", "broken.wav=broken",
                           "last.wav=1000"}
            << QStringList{"start 08:00:00.500", "play 08:00:00.501", "play 08:00:05.000",
                           "play 08:00:05.001",
                           // Due together: the play first, then the switch it left running.
                           "play 08:00:07.000", "switch 08:00:07.000", "play 08:00:09.000",
                           "play 08:00:09.001", "play 08:00:09.002"};
        QTest::newRow("a play that restarts the display switch twice")
            << QStringList{"08:00:00|a.wav|A", "08:00:05|b.wav|B", "08:00:08|c.wav|C",
                           "08:00:10|d.wav|D"}
            << QStringList{"a.wav=60000", "b.wav=10000", "c.wav=1000", "d.wav=1000"}
            << QStringList{"start 07:59:00.000", "play 08:00:00.000", "play 08:00:00.001",
                           // The switch due now is set to B's length, then to the 5 s
                           // until D: restarted, though its interval ends as it was.
                           "play 08:00:05.000", "play 08:00:08.000", "play 08:00:08.001",
                           "switch 08:00:09.000", "play 08:00:10.000", "play 08:00:10.001",
                           "play 08:00:10.002"};
    }
    void agreesWithTheSchedulerDrivenByHand()
    {
        QFETCH(QStringList, rows);
        QFETCH(QStringList, sounds);
        QFETCH(QStringList, script);
        const Exam exam({}, rows, sounds);

        HandDriven hand(exam, sounds);
        for (const QString &step : script)
            hand.step(step);
        QCOMPARE(hand.Timer1.interval(), 0);
        QCOMPARE(hand.Timer3.interval(), 0);

        ScheduleReader reader(exam.db.path());
        const Subject subject = reader.subject(SubjectName);
        const QDateTime from(hand.clock.now().date(), timeOf(script.first().section(' ', 1)));
        const Timeline rehearsed =
            Rehearsal(
                {subject.instructions, [&](const QString &file) { return exam.path(file); }, from})
                .run();
        QCOMPARE(lines(rehearsed), lines(hand.timeline));
    }

    void outcomesAndExitCode_data()
    {
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("from");
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<QString>("startedAt");
        QTest::addColumn<QStringList>("outcomes");
        QTest::addColumn<int>("exitCode");

        const QString start = QStringLiteral("2099-06-07 07:59:00");
        QTest::newRow("from the exam's start")
            << start << QString() << QStringList{"08:00:00|a.wav"} << "07:59:00.000"
            << QStringList{"played"} << 0;
        QTest::newRow("without a test row, a minute before the first")
            << QString() << QString() << QStringList{"08:00:00|a.wav"} << "07:59:00.000"
            << QStringList{"played"} << 0;
        QTest::newRow("a broken file ahead")
            << start << QString() << QStringList{"08:00:00|broken.wav", "08:00:10|a.wav"}
            << "07:59:00.000" << QStringList{"failed", "played"} << 1;
        QTest::newRow("a missing file ahead")
            << start << QString() << QStringList{"08:00:00|missing.wav"} << "07:59:00.000"
            << QStringList{"failed"} << 1;
        QTest::newRow("a broken file already past")
            << start << "08:00:05" << QStringList{"08:00:00|broken.wav", "08:00:10|a.wav"}
            << "08:00:05.000" << QStringList{"missed", "played"} << 0;
        QTest::newRow("the same second twice")
            << start << QString() << QStringList{"08:00:00|a.wav", "08:00:00|a.wav"}
            << "07:59:00.000" << QStringList{"played", "missed"} << 1;
        QTest::newRow("cut off by the next")
            << start << QString() << QStringList{"08:00:00|long.wav", "08:00:02|a.wav"}
            << "07:59:00.000" << QStringList{"cutOff by 2 after 2000", "played"} << 0;
    }
    void outcomesAndExitCode()
    {
        QFETCH(QString, start);
        QFETCH(QString, from);
        QFETCH(QStringList, rows);
        QFETCH(QString, startedAt);
        QFETCH(QStringList, outcomes);
        QFETCH(int, exitCode);
        const Exam exam(start, rows, {"a.wav=1000", "long.wav=5000", "broken.wav=broken"});

        QStringList arguments{"rehearse",    exam.db.path(), SubjectName,
                              "--sound-dir", exam.folder,    "--json"};
        if (!from.isEmpty())
            arguments << "--from" << from;
        QByteArray output;
        QString errors;
        QTextStream out(&output);
        QTextStream err(&errors);
        QCOMPARE(DatabaseTool(out, err).run(arguments), exitCode);
        out.flush();
        const QJsonObject report = QJsonDocument::fromJson(output).object();
        QCOMPARE(report["from"].toString(), startedAt);
        QStringList found;
        for (const QJsonValue &instruction : report["instructions"].toArray()) {
            const QJsonObject o = instruction.toObject();
            found << (o["outcome"] == "cutOff" ? QStringLiteral("cutOff by %1 after %2")
                                                     .arg(o["cutOffBy"].toInt())
                                                     .arg(o["heardMs"].toInt())
                                               : o["outcome"].toString());
        }
        QCOMPARE(found, outcomes);
    }
};

TESSIVOX_TEST_EACH_ENGINE(tst_Rehearse, QCoreApplication)
#include "tst_rehearse.moc"
