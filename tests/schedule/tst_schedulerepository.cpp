#include "data/DbError.h"
#include "data/TDataModule1.h"
#include "schedule/DataScheduleRepository.h"
#include "support/Engines.h"
#include "support/TestDatabase.h"

#include <QCoreApplication>
#include <QTest>
#include <optional>

namespace {

Instruction instruction(const QString &file, const QString &stored, const QString &explain = {})
{
    Instruction made;
    made.filename = file;
    made.explain = explain;
    made.storedTime = stored;
    return made;
}

Subject subject(const QString &name, const QList<Instruction> &instructions)
{
    return {name,
            true,
            QStringLiteral("2030-06-07 09:00:00"),
            QStringLiteral("2030-06-07 11:00:00"),
            {},
            {},
            instructions};
}

QStringList files(const Subject &subject)
{
    QStringList all;
    for (const Instruction &instruction : subject.instructions)
        all << instruction.filename;
    return all;
}

} // namespace

class tst_schedulerepository : public QObject
{
    Q_OBJECT

private slots:
    void storeWritesAllOrNothing_data()
    {
        QTest::addColumn<bool>("heldTest");
        QTest::addColumn<bool>("heldSounds");
        QTest::addColumn<bool>("replace");
        QTest::addColumn<bool>("refuseB");
        QTest::addColumn<bool>("written");

        QTest::newRow("new subjects") << false << false << false << false << true;
        QTest::newRow("held, kept") << true << true << false << false << false;
        QTest::newRow("held, replaced") << true << true << true << false << true;
        QTest::newRow("only instructions held, kept") << false << true << false << false << false;
        QTest::newRow("only the test row held, kept") << true << false << false << false << false;
        QTest::newRow("engine refuses the second subject") << true << true << true << true << false;
    }
    void storeWritesAllOrNothing()
    {
        QFETCH(bool, heldTest);
        QFETCH(bool, heldSounds);
        QFETCH(bool, replace);
        QFETCH(bool, refuseB);
        QFETCH(bool, written);
        TestDatabase db(QStringLiteral("旧标题"));
        if (heldTest)
            db.addSubject("A", "2030-01-01 08:00:00", "2030-01-01 10:00:00");
        if (heldSounds) {
            db.addSound("A", "old1.wav", "旧", "08:00:00");
            db.addSound("A", "old2.wav", "旧", "08:05:00");
        }
        if (refuseB)
            db.refuse("insert", "sound", "no B", "new.subjectname = 'B'");
        TDataModule1 data(db.path(), TDataModule1::Mode::ReadWrite, db.dataFolder());
        DataScheduleRepository repository(data);
        const Schedule schedule{
            QStringLiteral("新标题"),
            {subject("A", {instruction("a2.wav", "08:30:00"), instruction("a1.wav", "08:10:00")}),
             subject("B", {instruction("b.wav", "09:00:00")})}};

        QCOMPARE(repository.existing(schedule),
                 heldTest || heldSounds ? QStringList{"A"} : QStringList{});
        QString failure;
        try {
            repository.store(schedule, replace);
        } catch (const DbError &error) {
            failure = error.text();
        }
        QCOMPARE(failure.isEmpty(), written);
        if (!written && !refuseB)
            QVERIFY2(failure.contains(QLatin1String("A")), qPrintable(failure));

        const Subject a = repository.subject("A");
        QCOMPARE(repository.title(), written ? QStringLiteral("新标题") : QStringLiteral("旧标题"));
        if (written) {
            QCOMPARE(files(a), (QStringList{"a1.wav", "a2.wav"}));
            QCOMPARE(a.startText, QStringLiteral("2030-06-07 09:00:00"));
            QCOMPARE(files(repository.subject("B")), QStringList{"b.wav"});
            QCOMPARE(repository.subjectNames(), (QStringList{"A", "B"}));
        } else {
            QCOMPARE(files(a), heldSounds ? (QStringList{"old1.wav", "old2.wav"}) : QStringList{});
            QCOMPARE(a.hasTestRow, heldTest);
            QVERIFY(!repository.subject("B").hasTestRow);
            QVERIFY(repository.subject("B").instructions.isEmpty());
        }
    }

    void valuesComeBackAsStored()
    {
        TestDatabase db(QStringLiteral("kept"));
        TDataModule1 data(db.path(), TDataModule1::Mode::ReadWrite, db.dataFolder());
        DataScheduleRepository repository(data);
        const QString odd = QStringLiteral("语文 'quoted'; DROP TABLE sound; --\r\n二行");
        Subject stored = subject(odd, {instruction("x'.wav", "2020-01-01 08:00:05.500", odd),
                                       instruction("y.wav", "07:05:09", "早")});
        repository.store({QString(), {stored}}, false);

        QCOMPARE(repository.title(), QStringLiteral("kept"));
        QCOMPARE(repository.subjectNames(), QStringList{odd});
        const Subject read = repository.subject(odd);
        QCOMPARE(read.name, odd);
        QCOMPARE(read.start, QDateTime(QDate(2030, 6, 7), QTime(9, 0)));
        // In play order by time of day, each with its row's identity and number.
        QCOMPARE(files(read), (QStringList{"y.wav", "x'.wav"}));
        QCOMPARE(read.instructions[1].explain, odd);
        QCOMPARE(read.instructions[1].storedTime, QStringLiteral("2020-01-01 08:00:05.500"));
        QCOMPARE(read.instructions[1].playSecond(), QTime(8, 0, 5));
        QCOMPARE(read.instructions[0].playSecond(), QTime(7, 5, 9));
        QSet<qint64> ids;
        for (int i = 0; i < read.instructions.size(); ++i) {
            QCOMPARE(read.instructions[i].number, i + 1);
            ids.insert(read.instructions[i].id);
        }
        QCOMPARE(ids.size(), 2);
        QVERIFY(!ids.contains(-1));
        QVERIFY(!repository.subject("none").hasTestRow);
    }

    void theOverviewNeverHasAServersCallerWait_data()
    {
        QTest::addColumn<bool>("readable");
        QTest::newRow("readable") << true;
        QTest::newRow("the subjects' table missing") << false;
    }
    // A file is read at once; a server's values come by a queued call, and
    // a failure there shows none of what the job read.
    void theOverviewNeverHasAServersCallerWait()
    {
        QFETCH(bool, readable);
        TestDatabase db(QStringLiteral("总览"));
        db.addSubject("A", "2030-01-01 08:00:00", "2030-01-01 10:00:00");
        if (!readable)
            db.exec(QStringLiteral("DROP TABLE test"));
        TDataModule1 data(db.path(), TDataModule1::Mode::ReadWrite, db.dataFolder());
        QObject receiver;
        std::optional<ScheduleOverview> arrived;
        DataScheduleRepository(data).loadOverview(
            &receiver, [&](const ScheduleOverview &overview) { arrived = overview; });
        QCOMPARE(arrived.has_value(), !db.isServer());
        QTRY_VERIFY_WITH_TIMEOUT(arrived.has_value(), 30'000);
        QCOMPARE(bool(arrived->failure), !readable);
        QVERIFY(!arrived->fromCopy);
        QCOMPARE(arrived->title.value_or(QStringLiteral("none")),
                 readable || !db.isServer() ? QStringLiteral("总览") : QStringLiteral("none"));
        QCOMPARE(arrived->subjects, readable ? QStringList{"A"} : QStringList{});
    }
};

TESSIVOX_TEST_EACH_ENGINE(tst_schedulerepository, QCoreApplication)
#include "tst_schedulerepository.moc"
