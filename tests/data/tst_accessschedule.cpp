#include "support/AccessFixtures.h"

#include "data/AccessTime.h"
#include "schedule/AccessSchedule.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

using AccessSchedule::LeftOut;

Q_DECLARE_METATYPE(Schedule)
Q_DECLARE_METATYPE(QList<LeftOut>)

class tst_AccessSchedule : public QObject
{
    Q_OBJECT

private slots:
    void fixtures_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<Schedule>("schedule");
        QTest::addColumn<QList<LeftOut>>("leftOut");
        const QList<LeftOut> orphan{{"sound", 11, "无此科目", "没有此科目的 test 行"}};
        for (const char *file :
             {"jet4-datetime.mdb", "jet4-extra-columns.mdb", "ace-datetime.accdb"})
            QTest::newRow(file) << file << AccessFixtures::dateTimeSchedule() << orphan;
        QTest::newRow("jet4-text-zh.mdb")
            << "jet4-text-zh.mdb" << AccessFixtures::textSchedule()
            << QList<LeftOut>{{"sound", 6, "数学", "无法识别播放时间 “8点35分”"}};
    }

    void fixtures()
    {
        QFETCH(QString, file);
        QFETCH(Schedule, schedule);
        QFETCH(QList<LeftOut>, leftOut);
        const AccessSchedule::Mapped mapped = AccessSchedule::read(AccessFixtures::path(file));
        QCOMPARE(mapped.schedule.title, schedule.title);
        QCOMPARE(mapped.schedule.subjects.size(), schedule.subjects.size());
        for (qsizetype i = 0; i < schedule.subjects.size(); ++i) {
            const Subject &got = mapped.schedule.subjects.at(i);
            const Subject &want = schedule.subjects.at(i);
            QCOMPARE(got.name, want.name);
            QCOMPARE(got.start, want.start);
            QCOMPARE(got.end, want.end);
            QCOMPARE(got.instructions.size(), want.instructions.size());
            for (qsizetype n = 0; n < want.instructions.size(); ++n)
                QVERIFY2(got.instructions.at(n) == want.instructions.at(n),
                         qPrintable(want.instructions.at(n).filename));
            QVERIFY(got == want);
        }
        QCOMPARE(mapped.leftOut, leftOut);
        QVERIFY(!mapped.noTitle);
    }

    void largeFixture()
    {
        const AccessSchedule::Mapped mapped =
            AccessSchedule::read(AccessFixtures::path("jet4-large.mdb"));
        QVERIFY(mapped.leftOut.isEmpty());
        QCOMPARE(mapped.schedule.subjects.size(), 400);
        for (int s = 0; s < 400; ++s) {
            const Subject &subject = mapped.schedule.subjects.at(s);
            const QDateTime start(QDate(2020, 1, 1).addDays(s), QTime(8, 0));
            QCOMPARE(subject.name, QStringLiteral("科目%1").arg(s, 4, 10, QLatin1Char('0')));
            QCOMPARE(subject.start, start);
            QCOMPARE(subject.end, start.addSecs(3 * 3600));
            QCOMPARE(subject.instructions.size(), 40);
            for (int i = 0; i < 40; ++i) {
                const Instruction &instruction = subject.instructions.at(i);
                QCOMPARE(instruction.filename, QStringLiteral("s%1-%2.wav")
                                                   .arg(s, 4, 10, QLatin1Char('0'))
                                                   .arg(i, 3, 10, QLatin1Char('0')));
                QCOMPARE(instruction.time, QTime(8, 0).addSecs(137 * i));
            }
        }
    }

    // The regional forms of Chinese Windows, as a Text column holds them.
    void regionalTexts_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QDateTime>("dateTime");
        QTest::addColumn<QTime>("time");
        const QDate day(2026, 6, 7);
        const auto at = [&](int h, int m, int s = 0) { return QDateTime(day, QTime(h, m, s)); };
        QTest::newRow("dashes") << "2026-6-7 9:00:00" << at(9, 0) << QTime(9, 0);
        QTest::newRow("slashes") << "2026/6/7 15:00:00" << at(15, 0) << QTime(15, 0);
        QTest::newRow("padded") << "2026/06/07 08:05:09" << at(8, 5, 9) << QTime(8, 5, 9);
        QTest::newRow("dots, no seconds") << "2026.6.7 15:00" << at(15, 0) << QTime(15, 0);
        QTest::newRow("two-digit year") << "26/6/7 8:30:00" << at(8, 30) << QTime(8, 30);
        QTest::newRow("年月日") << "2026年6月7日 9:00:00" << at(9, 0) << QTime(9, 0);
        QTest::newRow("date alone is midnight") << "2026/6/7" << at(0, 0) << QTime();
        QTest::newRow("上午") << "2026/6/7 上午 9:00:00" << at(9, 0) << QTime(9, 0);
        QTest::newRow("下午") << "2026/6/7 下午 3:00:00" << at(15, 0) << QTime(15, 0);
        QTest::newRow("PM after") << "2026-6-7 3:00:00 PM" << at(15, 0) << QTime(15, 0);
        QTest::newRow("上午 12 is after midnight") << "上午 12:05:00" << QDateTime() << QTime(0, 5);
        QTest::newRow("下午 12 is noon") << "下午12:30" << QDateTime() << QTime(12, 30);
        QTest::newRow("am lower case") << "8:30:00 am" << QDateTime() << QTime(8, 30);
        QTest::newRow("time alone") << "8:30:00" << QDateTime() << QTime(8, 30);
        QTest::newRow("zero-padded hour") << "08:55:00" << QDateTime() << QTime(8, 55);
        QTest::newRow("full-width") << "８：３０：００" << QDateTime() << QTime(8, 30);
        QTest::newRow("milliseconds") << "8:30:00.250" << QDateTime() << QTime(8, 30);
        QTest::newRow("spaces around") << "  9:00:00 " << QDateTime() << QTime(9, 0);
        QTest::newRow("点分") << "8点35分" << QDateTime() << QTime();
        QTest::newRow("hour 25") << "25:00:00" << QDateTime() << QTime();
        QTest::newRow("minute 60") << "8:60:00" << QDateTime() << QTime();
        QTest::newRow("month 13") << "2026/13/1 8:00" << QDateTime() << QTime();
        QTest::newRow("30 February") << "2026/2/30 8:00" << QDateTime() << QTime();
        QTest::newRow("mixed separators") << "2026-6/7 8:00" << QDateTime() << QTime();
        QTest::newRow("下午 13") << "下午 13:00:00" << QDateTime() << QTime();
        QTest::newRow("two markers") << "上午 8:30 PM" << QDateTime() << QTime();
        QTest::newRow("hour alone") << "8" << QDateTime() << QTime();
        QTest::newRow("empty") << "" << QDateTime() << QTime();
    }

    void regionalTexts()
    {
        QFETCH(QString, text);
        QFETCH(QDateTime, dateTime);
        QFETCH(QTime, time);
        QCOMPARE(AccessTime::dateTime(text), dateTime);
        QCOMPARE(AccessTime::timeOfDay(text), time);
    }

    // Rows as no fixture holds them: duplicates, unreadable starts, no title.
    void rowsLeftOut()
    {
        using Row = AccessFile::Row;
        const auto test = [](const QVariant &name, const QVariant &start) {
            return Row{name, start, "2026/6/7 17:00"};
        };
        const auto sound = [](const QString &name, const QVariant &time) {
            return Row{name, "a.wav", QVariant(), time};
        };
        const AccessSchedule::Mapped mapped = AccessSchedule::map(
            {Row{2, "not the title"}},
            {test("数学", "2026/6/7 15:00"), test("数学", "2026/6/8 15:00"), test("英语", "明天"),
             test(QVariant(), "2026/6/7 8:00")},
            {sound("数学", "16:00:00"), sound("英语", "9:00:00"), sound("数学", QVariant()),
             sound("数学", QDateTime(QDate(1899, 12, 30), QTime(15, 30, 1)))});
        QVERIFY(mapped.noTitle);
        QVERIFY(mapped.schedule.title.isEmpty());
        QCOMPARE(mapped.schedule.subjects.size(), 1);
        const Subject &taken = mapped.schedule.subjects.first();
        QCOMPARE(taken.start, QDateTime(QDate(2026, 6, 7), QTime(15, 0)));
        QCOMPARE(taken.instructions.size(), 2);
        QCOMPARE(taken.instructions.at(0).storedTime, QStringLiteral("15:30:01"));
        QCOMPARE(taken.instructions.at(1).storedTime, QStringLiteral("16:00:00"));
        const QList<LeftOut> leftOut{{"test", 2, "数学", "科目重复，保留第 1 行"},
                                     {"test", 3, "英语", "无法识别开始时间 “明天”"},
                                     {"test", 4, "", "科目名为空"},
                                     {"sound", 2, "英语", "科目的 test 第 3 行未导入"},
                                     {"sound", 3, "数学", "无法识别播放时间 无值"}};
        QCOMPARE(mapped.leftOut, leftOut);
    }

    // Whatever is wrong with the file, it is refused as a whole.
    void filesRefused_data()
    {
        QTest::addColumn<QString>("make");
        QTest::addColumn<int>("kind");
        QTest::newRow("random bytes") << "random" << int(AccessError::Kind::NotAccess);
        QTest::newRow("cut inside a page") << "cut:70000" << int(AccessError::Kind::Damaged);
        QTest::newRow("catalogue cut away") << "cut:16384" << int(AccessError::Kind::Damaged);
        QTest::newRow("last pages cut away") << "cut:139264" << int(AccessError::Kind::Damaged);
        QTest::newRow("no schedule tables") << "tables" << int(AccessError::Kind::NoSchedule);
        QTest::newRow("no file") << "none" << int(AccessError::Kind::NotAccess);
    }

    void filesRefused()
    {
        QFETCH(QString, make);
        QFETCH(int, kind);
        QTemporaryDir dir;
        const QString file = dir.filePath("asdf.mdb");
        if (make == "random") {
            QByteArray bytes(100000, '\0');
            for (char &byte : bytes)
                byte = char(QRandomGenerator::global()->bounded(256));
            QFile out(file);
            QVERIFY(out.open(QIODevice::WriteOnly) && out.write(bytes) == bytes.size());
        } else if (make.startsWith("cut:")) {
            AccessFixtures::copy("jet4-datetime.mdb", file, make.mid(4).toLongLong());
        } else if (make == "tables") {
            AccessFixtures::copyWithoutTables("jet4-datetime.mdb", file);
        }
        try {
            AccessSchedule::read(file);
            QFAIL("read a file it should refuse");
        } catch (const AccessError &error) {
            QCOMPARE(int(error.kind()), kind);
            QVERIFY(!error.userText().isEmpty());
        }
    }
};

QTEST_GUILESS_MAIN(tst_AccessSchedule)
#include "tst_accessschedule.moc"
