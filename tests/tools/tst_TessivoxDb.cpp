#include "data/TDataModule1.h"
#include "run/SoundFile.h"
#include "schedule/Statements.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <sndfile.h>

namespace {

const QString Tools = qEnvironmentVariable("TESSIVOX_TEST_TOOLS");

struct Result
{
    int exitCode;
    QString err;
};

Result runTool(const QStringList &arguments, const QString &workingDirectory = {},
               const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment(),
               const QString &tool = Tools + "/tessivox-db")
{
    QProcess process;
    process.setWorkingDirectory(workingDirectory);
    process.setProcessEnvironment(environment);
    process.start(tool, arguments);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
        return {-1, process.errorString()};
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardError())};
}

QByteArray contentsOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

Query &open(TDataModule1 &module, const Statement &statement)
{
    module.ADOQuery6.replace(statement);
    module.ADOQuery6.open();
    return module.ADOQuery6;
}

} // namespace

class tst_TessivoxDb : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        QVERIFY2(QFile::exists(Tools + "/tessivox-db"), "TESSIVOX_TEST_TOOLS names no tool folder");
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
    }

    void usageErrors_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("nothing") << QStringList();
        QTest::newRow("unknown command") << QStringList{"drop", "x.mdb"};
        QTest::newRow("create without path") << QStringList{"create"};
        QTest::newRow("demo without path") << QStringList{"demo"};
        QTest::newRow("extra argument") << QStringList{"create", "a.mdb", "b.mdb"};
        QTest::newRow("sound folder without a name") << QStringList{"demo", "a.mdb", "--sound-dir"};
        QTest::newRow("sound folder for create")
            << QStringList{"create", "a.mdb", "--sound-dir", "s"};
        QTest::newRow("rehearse without subject") << QStringList{"rehearse", "a.mdb"};
        QTest::newRow("unknown option") << QStringList{"check", "a.mdb", "--sound"};
        QTest::newRow("option without value") << QStringList{"check", "a.mdb", "--sound-dir"};
        QTest::newRow("option given twice") << QStringList{"check", "a.mdb", "--json", "--json"};
        // Neither a file nor a server it reaches: no folders named after it.
        QTest::newRow("create, another engine's URI") << QStringList{"create", "mysql://h/exams"};
        QTest::newRow("demo, a file URI") << QStringList{"demo", "file:///tmp/a.mdb"};
        QTest::newRow("create, a URI that is not valid")
            << QStringList{"create", "postgresql://h:port/db"};
    }
    void usageErrors()
    {
        QFETCH(QStringList, arguments);
        const Result result = runTool(arguments, m_dir->path());
        QCOMPARE(result.exitCode, 2);
        QVERIFY2(result.err.startsWith("Usage:"), qPrintable(result.err));
        QVERIFY(QDir(m_dir->path()).isEmpty());
    }

    void createMakesFoldersAndTitle()
    {
        const QString path = m_dir->filePath("a/b/asdf.mdb");
        QCOMPARE(runTool({"create", path}).exitCode, 0);
        // Nothing of the staging is left beside the database.
        QCOMPARE(QDir(m_dir->filePath("a/b")).entryList(QDir::Files), QStringList{"asdf.mdb"});
        TDataModule1 module(path);
        QCOMPARE(open(module, Statements::selectTitle()).text("systitle"),
                 QStringLiteral("Tessivox 考场语音指令系统"));
    }

    void createRefusesExistingFile_data()
    {
        QTest::addColumn<bool>("database");
        QTest::newRow("a database") << true;
        QTest::newRow("any other file") << false;
    }
    void createRefusesExistingFile()
    {
        QFETCH(bool, database);
        const QString path = m_dir->filePath("existing.mdb");
        QFile file(path);
        QVERIFY(database ? runTool({"create", path}).exitCode == 0
                         : file.open(QIODevice::WriteOnly) && file.write("precious") > 0);
        file.close();
        const QByteArray before = contentsOf(path);
        const Result result = runTool({"create", path});
        QCOMPARE(result.exitCode, 1);
        QVERIFY2(result.err.contains(path), qPrintable(result.err));
        QCOMPARE(contentsOf(path), before);
    }

    void demoRefusesMissingDatabase()
    {
        const QString path = m_dir->filePath("absent.mdb");
        const Result result = runTool({"demo", path});
        QCOMPARE(result.exitCode, 1);
        QVERIFY2(result.err.contains(path), qPrintable(result.err));
        QVERIFY(!QFile::exists(path));
    }

    void demoAddsInstructionsAhead_data()
    {
        QTest::addColumn<bool>("withSpeech");
        QTest::addColumn<bool>("soundDirGiven");
        QTest::newRow("spoken where espeak-ng is found") << true << true;
        QTest::newRow("tones without espeak-ng") << false << true;
        QTest::newRow("beside the program by default") << true << false;
    }
    void demoAddsInstructionsAhead()
    {
        QFETCH(bool, withSpeech);
        QFETCH(bool, soundDirGiven);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        if (!withSpeech)
            environment.insert("PATH", m_dir->path());
        const QString path = m_dir->filePath("asdf.mdb");
        QCOMPARE(runTool({"create", path}).exitCode, 0);
        // By default the sounds go where the run looks for them: "sound"
        // beside the program, here a copy of it in the temporary folder.
        QString tool = Tools + "/tessivox-db";
        const QString soundDir = m_dir->filePath(soundDirGiven ? "given sounds" : "sound");
        QStringList arguments{"demo", path};
        if (soundDirGiven)
            arguments << "--sound-dir" << soundDir;
        else if (QFile::copy(tool, m_dir->filePath("tessivox-db")))
            tool = m_dir->filePath("tessivox-db");
        else
            QFAIL("cannot copy the tool");
        // A second run replaces the instructions instead of adding a subject.
        for (int run = 0; run < 2; ++run) {
            const QTime before = QTime::currentTime();
            const Result result = runTool(arguments, {}, environment, tool);
            QVERIFY2(result.exitCode == 0, qPrintable(result.err));
            // The tool reads the clock somewhere within its run, which a busy
            // machine may stretch over seconds.
            const int took = (before.secsTo(QTime::currentTime()) + 86400) % 86400;

            TDataModule1 module(path);
            QCOMPARE(open(module, Statements::selectSubjectNames()).recordCount(), 1);
            const QString subject = module.ADOQuery6.text("subjectname");
            Query &query = open(module, Statements::selectSoundsByPlaytime(subject));
            QCOMPARE(query.recordCount(), 3);
            for (int minute = 1; !query.eof(); ++minute, query.next()) {
                // On the clock face, so that a demo made just before midnight counts.
                const int ahead = (before.secsTo(query.time("playtime")) + 86400) % 86400;
                QVERIFY2(ahead >= 60 * minute - 1 && ahead <= 60 * minute + took + 1,
                         qPrintable(QString::number(ahead)));
                SF_INFO info{};
                const QString wav = soundDir + "/" + query.text("filename");
                SNDFILE *sound = openSoundFile(wav, SFM_READ, &info);
                QVERIFY2(sound && info.frames > 0, qPrintable(wav));
                sf_close(sound);
                if (!withSpeech)
                    QCOMPARE(info.samplerate, 16000);
            }
        }
    }

private:
    std::unique_ptr<QTemporaryDir> m_dir;
};

QTEST_GUILESS_MAIN(tst_TessivoxDb)
#include "run/SoundFile.h"
#include "tst_TessivoxDb.moc"
