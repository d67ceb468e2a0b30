#include "support/AccessFixtures.h"
#include "support/Engines.h"
#include "support/TestDatabase.h"

#include "data/AccessFile.h"
#include "data/TDataModule1.h"
#include "schedule/DataScheduleRepository.h"
#include "tessivox-db/DatabaseTool.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

Q_DECLARE_METATYPE(Schedule)

namespace {

struct Run
{
    int code;
    QString out;
    QString err;
};

Run tool(const QStringList &arguments)
{
    QString out, err;
    QTextStream outStream(&out), errStream(&err);
    const int code = DatabaseTool(outStream, errStream).run(arguments);
    outStream.flush();
    errStream.flush();
    return {code, out, err};
}

// Every row of the schedule's tables, in one order whatever the engine.
QList<QStringList> dump(TestDatabase &db)
{
    return db.rows("SELECT 'var', CAST(id AS TEXT), systitle, '', '' FROM var UNION ALL "
                   "SELECT 'test', subjectname, starttime, endtime, '' FROM test UNION ALL "
                   "SELECT 'sound', subjectname, filename, explain, playtime FROM sound "
                   "ORDER BY 1, 2, 3, 4, 5");
}

// A centre's database keeps the recordings too, which the import stores.
void keepRecordings(TestDatabase &db)
{
    if (db.isServer() && tool({"upgrade", db.path()}).code != 0)
        qFatal("tessivox-db upgrade failed");
}

// The schedule as the program reads it back from location.
Schedule readBack(const QString &location)
{
    TDataModule1 module(location);
    DataScheduleRepository repository(module);
    Schedule schedule{repository.title(), {}};
    for (const QString &name : repository.subjectNames())
        schedule.subjects.append(repository.subject(name));
    return schedule;
}

void compareSchedules(const Schedule &got, const Schedule &want)
{
    QCOMPARE(got.title, want.title);
    QCOMPARE(got.subjects.size(), want.subjects.size());
    for (qsizetype i = 0; i < want.subjects.size(); ++i) {
        const Subject &g = got.subjects.at(i);
        const Subject &w = want.subjects.at(i);
        QCOMPARE(g.name, w.name);
        QCOMPARE(g.start, w.start);
        QCOMPARE(g.end, w.end);
        QCOMPARE(g.instructions.size(), w.instructions.size());
        for (qsizetype n = 0; n < w.instructions.size(); ++n) {
            QCOMPARE(g.instructions.at(n).filename, w.instructions.at(n).filename);
            QCOMPARE(g.instructions.at(n).explain, w.instructions.at(n).explain);
            QCOMPARE(g.instructions.at(n).time, w.instructions.at(n).time);
        }
    }
}

} // namespace

class tst_Import : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_sounds = m_dir->filePath("sound");
        QVERIFY(QDir().mkpath(m_sounds));
    }

    void fixtures_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<Schedule>("schedule");
        QTest::addColumn<QString>("leftOut");
        for (const char *file :
             {"jet4-datetime.mdb", "jet4-extra-columns.mdb", "ace-datetime.accdb"})
            QTest::newRow(file) << file << AccessFixtures::dateTimeSchedule()
                                << "sound 表第 11 行（科目“无此科目”）：没有此科目的 test 行";
        QTest::newRow("jet4-text-zh.mdb")
            << "jet4-text-zh.mdb" << AccessFixtures::textSchedule()
            << "sound 表第 6 行（科目“数学”）：无法识别播放时间 “8点35分”";
    }

    void fixtures()
    {
        QFETCH(QString, file);
        QFETCH(Schedule, schedule);
        QFETCH(QString, leftOut);
        TestDatabase db;
        keepRecordings(db);
        QFile sound(m_sounds + "/yw-01.wav");
        QVERIFY(sound.open(QIODevice::WriteOnly));
        const Run run =
            tool({"import", AccessFixtures::path(file), db.path(), "--sound-dir", m_sounds});
        QCOMPARE(run.code, 1);
        QVERIFY2(run.out.contains(leftOut), qPrintable(run.out));
        QVERIFY(run.out.contains("科目 " + QString::number(schedule.subjects.size()) + " 个"));
        // Every named file but the one the folder holds.
        QVERIFY(run.out.contains("中缺少"));
        QVERIFY(!run.out.contains("yw-01.wav、") && !run.out.contains("、yw-01.wav"));
        compareSchedules(readBack(db.path()), schedule);
    }

    void largeFixture()
    {
        TestDatabase db;
        keepRecordings(db);
        const Run run = tool(
            {"import", AccessFixtures::path("jet4-large.mdb"), db.path(), "--sound-dir", m_sounds});
        QCOMPARE(run.code, 0);
        const Schedule back = readBack(db.path());
        QCOMPARE(back.subjects.size(), 400);
        QCOMPARE(back.subjects.at(399).instructions.size(), 40);
        QCOMPARE(back.subjects.at(399).instructions.at(39).time, QTime(8, 0).addSecs(137 * 39));
        QCOMPARE(back.subjects.at(399).start,
                 QDateTime(QDate(2020, 1, 1).addDays(399), QTime(8, 0)));
    }

    // Nothing written, exit 2, the target's rows (and a file's bytes) as
    // they were.
    void refused_data()
    {
        QTest::addColumn<QString>("make");
        QTest::addColumn<QString>("message");
        QTest::newRow("cut short") << "cut"
                                   << "cut short";
        QTest::newRow("random file") << "random"
                                     << "not an Access database file";
        QTest::newRow("no schedule tables") << "tables"
                                            << "no table var, test, sound";
        QTest::newRow("an Access file as target") << "target"
                                                  << "is an Access file too";
        QTest::newRow("subjects already there")
            << "twice"
            << "already holds the subjects 语文, 数学, 英语 'A' 卷";
    }

    void refused()
    {
        QFETCH(QString, make);
        QFETCH(QString, message);
        TestDatabase db;
        keepRecordings(db);
        const QString file = m_dir->filePath("school.mdb");
        AccessFixtures::copy("jet4-datetime.mdb", file);
        if (make == "cut")
            AccessFixtures::copy("jet4-datetime.mdb", file, 100000);
        if (make == "random") {
            QFile out(file);
            QVERIFY(out.open(QIODevice::WriteOnly));
            for (int i = 0; i < 4096; ++i)
                out.write(QByteArray::number(QRandomGenerator::global()->generate64()));
        }
        if (make == "tables")
            AccessFixtures::copyWithoutTables("jet4-datetime.mdb", file);
        if (make == "twice")
            QCOMPARE(tool({"import", file, db.path(), "--sound-dir", m_sounds}).code, 1);
        const QString other = m_dir->filePath("other.mdb");
        AccessFixtures::copy("jet4-text-zh.mdb", other);
        const QList<QStringList> before = dump(db);
        const QByteArray hash = AccessFixtures::sha256(db.path());
        const QByteArray accessHash = AccessFixtures::sha256(file);
        const Run run = make == "target"
                            ? tool({"import", other, file})
                            : tool({"import", file, db.path(), "--sound-dir", m_sounds});
        QCOMPARE(run.code, 2);
        QVERIFY2(run.err.contains(message), qPrintable(run.err));
        QVERIFY(run.err.contains("Nothing was written"));
        QCOMPARE(dump(db), before);
        QCOMPARE(AccessFixtures::sha256(db.path()), hash);
        QCOMPARE(AccessFixtures::sha256(file), accessHash);
    }

    void dryRunWritesNothing()
    {
        TestDatabase db;
        keepRecordings(db);
        const QList<QStringList> before = dump(db);
        const Run run = tool({"import", AccessFixtures::path("jet4-datetime.mdb"), db.path(),
                              "--dry-run", "--sound-dir", m_sounds});
        QCOMPARE(run.code, 1);
        QVERIFY(run.out.contains("语文　2026-06-07 09:00:00 至 2026-06-07 11:30:00，指令 5 条"));
        QCOMPARE(dump(db), before);
    }

    void replaceTakesTheSubjectsWhole()
    {
        TestDatabase db;
        keepRecordings(db);
        db.addSubject("数学", "2020-01-01 08:00:00", "2020-01-01 10:00:00");
        db.addSound("数学", "old.wav", "", "08:00:00");
        db.addSubject("物理", "2020-01-02 08:00:00", "2020-01-02 10:00:00");
        const QString file = AccessFixtures::path("jet4-datetime.mdb");
        QCOMPARE(tool({"import", file, db.path(), "--sound-dir", m_sounds}).code, 2);
        QCOMPARE(tool({"import", file, db.path(), "--replace", "--sound-dir", m_sounds}).code, 1);
        const Schedule back = readBack(db.path());
        QCOMPARE(back.subjects.size(), 4);
        TDataModule1 module(db.path());
        DataScheduleRepository repository(module);
        QCOMPARE(repository.subject("数学").instructions.size(), 3);
        QCOMPARE(repository.subject("物理").instructions.size(), 0);
        QVERIFY(repository.subject("物理").hasTestRow);
    }

    // Into a centre, the recordings of the sound folder go with the schedule.
    void centreStoresRecordings()
    {
        if (Engines::current() != Dialect::Engine::PostgreSQL)
            QSKIP("only a centre's server keeps recordings");
        TestDatabase db;
        keepRecordings(db);
        QFile sound(m_sounds + "/yy-listening 01.wav");
        QVERIFY(sound.open(QIODevice::WriteOnly) && sound.write("RIFF....WAVE") == 12);
        sound.close();
        const Run run = tool({"import", AccessFixtures::path("jet4-datetime.mdb"), db.path(),
                              "--sound-dir", m_sounds});
        QCOMPARE(run.code, 1);
        QCOMPARE(db.rows("SELECT name FROM sound_file"),
                 QList<QStringList>{{"yy-listening 01.wav"}});
    }

    // A file of its own: a new one, or the Access file itself, kept beside.
    void newFileAndInPlace()
    {
        SKIP_UNLESS_FILE();
        const QString target = m_dir->filePath("new/asdf.mdb");
        const QString access = AccessFixtures::path("ace-datetime.accdb");
        QCOMPARE(tool({"import", access, target, "--sound-dir", m_sounds}).code, 1);
        compareSchedules(readBack(target), AccessFixtures::dateTimeSchedule());

        const QString school = m_dir->filePath("asdf.mdb");
        const QByteArray hash = AccessFixtures::sha256(AccessFixtures::path("jet4-datetime.mdb"));
        AccessFixtures::copy("jet4-datetime.mdb", school);
        const Run run = tool({"import", school, school, "--sound-dir", m_sounds});
        QCOMPARE(run.code, 1);
        QVERIFY(run.out.contains("asdf-access.mdb"));
        QCOMPARE(AccessFixtures::sha256(m_dir->filePath("asdf-access.mdb")), hash);
        compareSchedules(readBack(school), AccessFixtures::dateTimeSchedule());
        QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files),
                 QStringList({"asdf-access.mdb", "asdf.mdb"}));
    }

    // Killed at any moment, the import leaves the Access file in place, or
    // both files whole: killed at random moments, and as soon as each of
    // its files appears.
    void killedAnywhere_data()
    {
        QTest::addColumn<QString>("when");
        for (int round = 0; round < 8; ++round)
            QTest::addRow("at random %d", round) << "random";
        QTest::newRow("new database being built") << "asdf.mdb.import-*";
        QTest::newRow("copy being made") << "asdf.mdb.keep-*";
        QTest::newRow("copy kept") << "asdf-access.mdb";
    }

    void killedAnywhere()
    {
        SKIP_UNLESS_FILE();
        QFETCH(QString, when);
        const QString tools = qEnvironmentVariable("TESSIVOX_TEST_TOOLS");
        QVERIFY2(QFile::exists(tools + "/tessivox-db"), "TESSIVOX_TEST_TOOLS names no tool folder");
        const QByteArray hash = AccessFixtures::sha256(AccessFixtures::path("jet4-large.mdb"));
        const QString data = m_dir->filePath("data");
        QVERIFY(QDir().mkpath(data));
        AccessFixtures::copy("jet4-large.mdb", data + "/asdf.mdb");
        QProcess process;
        process.setWorkingDirectory(m_dir->path());
        process.setStandardOutputFile(QProcess::nullDevice());
        QElapsedTimer clock;
        clock.start();
        process.start(tools + "/tessivox-db", {"import", "data/asdf.mdb", "--sound-dir", "."});
        QVERIFY(process.waitForStarted());
        // A whole import takes a second or two here.
        const qint64 at = QRandomGenerator::global()->bounded(2500);
        while (process.state() == QProcess::Running &&
               (when == "random" ? clock.elapsed() < at
                                 : QDir(data).entryList({when}, QDir::Files).isEmpty()))
            QTest::qSleep(1);
        process.kill();
        process.waitForFinished(60000);

        const QString kept = data + "/asdf-access.mdb";
        if (AccessFixtures::sha256(data + "/asdf.mdb") == hash) {
            QVERIFY(!QFile::exists(kept) || AccessFixtures::sha256(kept) == hash);
        } else {
            QCOMPARE(AccessFixtures::sha256(kept), hash);
            QCOMPARE(readBack(data + "/asdf.mdb").subjects.size(), 400);
        }
        // Whatever a kill left, the import then goes through.
        process.start(tools + "/tessivox-db", {"import", "data/asdf.mdb", "--sound-dir", "."});
        QVERIFY(process.waitForFinished(60000));
        if (AccessFile::format(data + "/asdf.mdb") != AccessFile::Format::None)
            QCOMPARE(process.exitCode(), 0);
        QCOMPARE(readBack(data + "/asdf.mdb").subjects.size(), 400);
    }

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_sounds;
};

TESSIVOX_TEST_EACH_ENGINE(tst_Import, QCoreApplication)
#include "tst_import.moc"
