#include "support/Engines.h"
#include "support/TestDatabase.h"
#include "support/TestSounds.h"
#include "support/TimeServiceBus.h"

#include "platform/SystemClockHealth.h"

#include "tessivox-db/DatabaseTool.h"
#include "tessivox-db/Format.h"
#include "tessivox-db/TextTable.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

namespace {

struct Result
{
    int exitCode;
    QByteArray out;
    QString err;
};

Result runTool(const QStringList &arguments, const ClockHealth *clockHealth = nullptr)
{
    Result result{0, {}, {}};
    QTextStream out(&result.out);
    QTextStream err(&result.err);
    result.exitCode = DatabaseTool(out, err, clockHealth).run(arguments);
    out.flush();
    err.flush();
    return result;
}

// Every file in a folder with its size, time and content, to show that
// nothing was written, not even a journal.
QStringList snapshot(const QString &folder)
{
    QStringList files;
    for (const QFileInfo &info : QDir(folder).entryInfoList(QDir::Files | QDir::Hidden)) {
        QFile file(info.filePath());
        file.open(QIODevice::ReadOnly);
        files << QStringLiteral("%1 %2 %3")
                     .arg(
                         info.fileName(), info.lastModified().toString(Qt::ISODateWithMs),
                         QCryptographicHash::hash(file.readAll(), QCryptographicHash::Md5).toHex());
    }
    return files;
}

// The findings of one subject as "severity #n text", "#0" for the subject.
QStringList findings(const QJsonObject &subject)
{
    QStringList found;
    for (const QJsonValue &value : subject["findings"].toArray()) {
        const QJsonObject finding = value.toObject();
        if (finding["severity"] != "info")
            found << QStringLiteral("%1 #%2 %3")
                         .arg(finding["severity"].toString())
                         .arg(finding["instruction"].toInt())
                         .arg(finding["text"].toString());
    }
    return found;
}

} // namespace

class tst_Check : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestDatabase> m_db;

    QString soundFolder() const { return m_db->dir() + QStringLiteral("/sound"); }

private slots:
    void init()
    {
        m_db = std::make_unique<TestDatabase>();
        TestSounds::writeSilence(soundFolder() + "/a.wav", 2000);
        TestSounds::writeSilence(soundFolder() + "/sub/a.wav", 2000);
        TestSounds::writeSilence(soundFolder() + "/long.wav", 5000);
        TestSounds::writeSilence(soundFolder() + "/empty.wav", 0);
        TestSounds::writeGarbage(soundFolder() + "/broken.wav");
    }

    void findingsOfOneSubject_data()
    {
        QTest::addColumn<QString>("start");
        QTest::addColumn<QStringList>("rows");
        // "severity #instruction" and a part of the text, in the order given.
        QTest::addColumn<QStringList>("expected");

        const QString start = QStringLiteral("2099-06-07 08:00:00");
        QTest::newRow("clean") << start << QStringList{"08:00:00|a.wav", "08:00:10|a.wav"}
                               << QStringList{};
        QTest::newRow("missing, broken and empty files")
            << start
            << QStringList{"08:00:00|missing.wav", "08:01:00|broken.wav", "08:02:00|empty.wav"}
            << QStringList{"error #1 the file is missing", "error #2 Format not recognised",
                           "error #3 length 0"};
        QTest::newRow("the same second twice")
            << start << QStringList{"08:00:00|a.wav", "08:00:00.500|a.wav"}
            << QStringList{"warning #2 the run plays only #1"};
        QTest::newRow("cut off") << start << QStringList{"08:00:00|long.wav", "08:00:02|a.wav"}
                                 << QStringList{"warning #1 the last 3 s of its 5 s are cut off"};
        QTest::newRow("a broken file still cuts off")
            << start << QStringList{"08:00:00|long.wav", "08:00:04|broken.wav"}
            << QStringList{"warning #1 the last 1 s of its 5 s", "error #2 Format not recognised"};
        QTest::newRow("before the start, after the end")
            << start << QStringList{"07:59:59|a.wav", "10:00:01|a.wav"}
            << QStringList{"warning #1 before the exam starts", "warning #2 after the exam ends"};
        QTest::newRow("an exam across midnight")
            << "2099-06-07 22:00:00 to 2099-06-08 01:00:00"
            << QStringList{"21:59:59|a.wav", "23:00:00|a.wav", "00:30:00|a.wav", "01:00:01|a.wav"}
            << QStringList{"warning #1 after midnight, on 2099-06-08: the run compares times",
                           "warning #2 after the exam ends (01:00:00)",
                           "warning #3 before the exam starts (22:00:00)"};
        QTest::newRow("in the past") << "2001-06-07 08:00:00" << QStringList{"08:00:00|a.wav"}
                                     << QStringList{"warning #0 2001-06-07 is in the past"};
        QTest::newRow("times that cannot be read")
            << "soon" << QStringList{"8 o'clock|a.wav"}
            << QStringList{"error #0 the start \"soon\" cannot be read",
                           "error #0 the end \"soon10:00:00\" cannot be read",
                           "error #1 the time \"8 o'clock\" cannot be read"};
        QTest::newRow("a folder in the file name") << start << QStringList{"08:00:00|sub/a.wav"}
                                                   << QStringList{"warning #1 carries a folder"};
        QTest::newRow("no test row") << QString() << QStringList{"08:00:00|a.wav"}
                                     << QStringList{"error #0 without a test row"};
        QTest::newRow("no instructions")
            << start << QStringList{} << QStringList{"warning #0 no instructions"};
        QTest::newRow("a test row without a name")
            << "NULL" << QStringList{} << QStringList{"error #0 a test row without a name"};
    }
    void findingsOfOneSubject()
    {
        QFETCH(QString, start);
        QFETCH(QStringList, rows);
        QFETCH(QStringList, expected);
        const QString subject = QStringLiteral("语文");
        if (start == QLatin1String("NULL"))
            m_db->exec("INSERT INTO test (subjectname) VALUES (NULL)");
        else if (start.contains(" to "))
            m_db->addSubject(subject, start.section(" to ", 0, 0), start.section(" to ", 1));
        else if (!start.isEmpty())
            m_db->addSubject(subject, start, start.left(11) + "10:00:00");
        for (const QString &row : rows)
            m_db->addSound(subject, row.section('|', 1), "说明", row.section('|', 0, 0));

        const Result result =
            runTool({"check", m_db->path(), "--sound-dir", soundFolder(), "--json"});
        const QJsonArray subjects = QJsonDocument::fromJson(result.out)["subjects"].toArray();
        QCOMPARE(subjects.size(), 1);
        const QStringList found = findings(subjects[0].toObject());
        QCOMPARE(found.size(), expected.size());
        for (int i = 0; i < found.size(); ++i) {
            QVERIFY2(found[i].startsWith(expected[i].section(' ', 0, 1) + ' ') &&
                         found[i].contains(expected[i].section(' ', 2)),
                     qPrintable(found[i]));
        }
        QCOMPARE(result.exitCode, found.filter(QRegularExpression("^error")).isEmpty() ? 0 : 1);
    }

    void theComputersClockIsReported_data()
    {
        QTest::addColumn<QString>("service");
        QTest::addColumn<QJsonValue>("synchronised");
        QTest::addColumn<int>("warnings");
        QTest::addColumn<QString>("line");
        QTest::newRow("synchronised")
            << "synchronised" << QJsonValue(true) << 0 << "Computer clock: synchronised";
        QTest::newRow("not synchronised")
            << "not synchronised" << QJsonValue(false) << 1
            << "warning  Computer clock: not synchronised (automatic synchronisation is off)";
        QTest::newRow("no time service")
            << "absent" << QJsonValue() << 0 << "Computer clock: unknown: ";
    }

    void theComputersClockIsReported()
    {
        QFETCH(QString, service);
        QFETCH(QJsonValue, synchronised);
        QFETCH(int, warnings);
        QFETCH(QString, line);
        TimeServiceBus bus;
        QVERIFY(!bus.address().isEmpty());
        bus.setRunning(service != QLatin1String("absent"));
        bus.service.ntp = false;
        bus.service.ntpSynchronized = service == QLatin1String("synchronised");
        const SystemClockHealth health(QDBusConnection(QStringLiteral("client")));
        m_db->addSubject("语文", "2099-06-07 08:00:00", "2099-06-07 10:00:00");
        m_db->addSound("语文", "a.wav", "说明", "08:00:00");

        const Result json =
            runTool({"check", m_db->path(), "--sound-dir", soundFolder(), "--json"}, &health);
        const QJsonObject report = QJsonDocument::fromJson(json.out).object();
        QCOMPARE(report["clock"].toObject()["synchronised"], synchronised);
        QCOMPARE(report["warnings"].toInt(), warnings);
        QCOMPARE(json.exitCode, 0);
        const Result text = runTool({"check", m_db->path(), "--sound-dir", soundFolder()}, &health);
        QVERIFY2(QString::fromUtf8(text.out).split('\n').value(1).startsWith(line),
                 text.out.constData());
    }

    void tablesLineUpByDisplayWidth_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("width");
        QTest::newRow("ascii") << "a.wav" << 5;
        QTest::newRow("Chinese") << "入场.wav" << 8;
        QTest::newRow("full-width punctuation") << "说明：（一）" << 12;
        QTest::newRow("combining mark") << "e\u0301" << 1;
        QTest::newRow("outside the basic plane") << "\U00020000x" << 3;
    }
    void tablesLineUpByDisplayWidth()
    {
        QFETCH(QString, text);
        QFETCH(int, width);
        QCOMPARE(Format::displayWidth(text), width);
        QString printed;
        QTextStream out(&printed);
        TextTable table({"file", "next"});
        table.addRow({text, "x"});
        table.print(out, {});
        out.flush();
        const QStringList lines = printed.split('\n');
        // The second column starts at the same terminal column in both lines.
        QCOMPARE(Format::displayWidth(lines[1].chopped(1)),
                 Format::displayWidth(lines[0].chopped(4)));
    }

    // The check of every subject reads through indexed copies of the tables;
    // it must find the same rows, in the same order, as the run's reading of
    // one subject.
    void everySubjectReadsAsEachOneAlone()
    {
        m_db->addSubject("语文", "2099-06-07 08:00:00", "2099-06-07 10:00:00");
        m_db->addSubject("语文 ", "2099-06-07 09:00:00", "2099-06-07 10:00:00");
        m_db->addSubject("Maths", "2099-06-08 08:00:00", "2099-06-08 10:00:00");
        m_db->addSubject("maths", "2099-06-09 08:00:00", "2099-06-09 10:00:00");
        m_db->addSubject("语文", "2001-01-01 08:00:00", "2001-01-01 10:00:00");
        const QStringList names{"语文", "语文 ", "Maths", "maths", "只有指令"};
        for (const QString &subject : names) {
            m_db->addSound(subject, "long.wav", "1", "08:00:05");
            m_db->addSound(subject, "a.wav", "2", "08:00:00");
            m_db->addSound(subject, "empty.wav", "3", "2001-01-01 08:00:05");
            m_db->addSound(subject, "broken.wav", "4", "08:00:05.900");
        }

        const Result all = runTool({"check", m_db->path(), "--sound-dir", soundFolder(), "--json"});
        QCOMPARE(all.exitCode, 1);
        const QJsonArray subjects = QJsonDocument::fromJson(all.out)["subjects"].toArray();
        QStringList found;
        for (const QJsonValue &subject : subjects) {
            found << subject["name"].toString();
            const Result alone = runTool({"check", m_db->path(), "--subject", found.last(),
                                          "--sound-dir", soundFolder(), "--json"});
            QCOMPARE(QJsonDocument::fromJson(alone.out)["subjects"][0].toObject(),
                     subject.toObject());
        }
        QCOMPARE(found, names);
    }

    void inputThatCannotBeRead_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("file");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("message");

        const QByteArray access =
            QByteArray("\0\1\0\0Standard Jet DB\0", 20) + QByteArray(2028, '\0');
        for (const QString command : {"check", "rehearse"}) {
            QTest::addRow("%s: missing", qPrintable(command))
                << command << "absent.mdb" << QByteArray() << "absent.mdb: no such file";
            QTest::addRow("%s: an old Access file", qPrintable(command))
                << command << "old.mdb" << access << "old.mdb is not a Tessivox SQLite database";
            QTest::addRow("%s: an empty file", qPrintable(command))
                << command << "empty.mdb" << QByteArray("")
                << "empty.mdb is not a Tessivox SQLite database";
        }
        QTest::newRow("check: locked by a writer")
            << "check"
            << "data/asdf.mdb" << QByteArray() << "asdf.mdb: database is locked";
    }
    void inputThatCannotBeRead()
    {
        SKIP_UNLESS_FILE();
        QFETCH(QString, command);
        QFETCH(QString, file);
        QFETCH(QByteArray, content);
        QFETCH(QString, message);
        const QString path = QDir(m_db->dir()).filePath(file);
        if (!content.isNull()) {
            QFile written(path);
            QVERIFY(written.open(QIODevice::WriteOnly));
            written.write(content);
        }
        if (file == QLatin1String("data/asdf.mdb"))
            m_db->exec("BEGIN EXCLUSIVE");
        const QStringList before = snapshot(QFileInfo(path).absolutePath());

        QStringList arguments{command, path, "--sound-dir", soundFolder()};
        if (command == QLatin1String("rehearse"))
            arguments.insert(2, "语文");
        const Result result = runTool(arguments);
        QCOMPARE(result.exitCode, 2);
        QVERIFY2(result.err.contains(message) && result.err.count('\n') == 1,
                 qPrintable(result.err));
        QVERIFY(result.out.isEmpty());
        QCOMPARE(snapshot(QFileInfo(path).absolutePath()), before);
        if (file == QLatin1String("data/asdf.mdb"))
            m_db->exec("ROLLBACK");
    }

    void nothingIsWritten_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("check") << QStringList{"check"};
        QTest::newRow("rehearse") << QStringList{"rehearse", "语文"};
    }
    void nothingIsWritten()
    {
        QFETCH(QStringList, arguments);
        m_db->addSubject("语文", "2099-06-07 08:00:00", "2099-06-07 10:00:00");
        m_db->addSound("语文", "a.wav", "说明", "08:00:00");
        const QString folder = QFileInfo(m_db->path()).absolutePath();
        const QStringList before = snapshot(folder);
        arguments.insert(1, m_db->path());
        const Result result = runTool(arguments << "--sound-dir" << soundFolder());
        QVERIFY2(result.exitCode == 0, qPrintable(result.err));
        QCOMPARE(snapshot(folder), before);
    }
};

TESSIVOX_TEST_EACH_ENGINE(tst_Check, QCoreApplication)
#include "tst_check.moc"
