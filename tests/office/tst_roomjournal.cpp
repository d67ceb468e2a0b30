#include "office/ClockOffset.h"
#include "office/RoomJournal.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <functional>

using Steps = std::function<void(const QString &folder)>;
Q_DECLARE_METATYPE(Steps)

namespace {

QJsonObject event(int seq)
{
    return {{QStringLiteral("seq"), seq}, {QStringLiteral("kind"), QStringLiteral("played")}};
}

void append(const QString &folder, QList<int> seqs)
{
    RoomJournal journal(folder);
    for (int seq : seqs)
        QVERIFY(journal.append(event(seq)));
}

// Accepts the first count pending events, as the sender does.
void accept(const QString &folder, int count)
{
    RoomJournal journal(folder);
    journal.accepted(journal.pending(count).last().end);
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

} // namespace

class TestRoomJournal : public QObject
{
    Q_OBJECT

private slots:
    // Each step opens the journal afresh, as a restarted program does.
    void whatIsPendingSurvivesARestart_data()
    {
        QTest::addColumn<Steps>("steps");
        QTest::addColumn<QList<int>>("pending");

        QTest::newRow("appended") << Steps([](const QString &f) {
            append(f, {1, 2, 3});
        }) << QList<int>{1, 2, 3};
        QTest::newRow("accepted in part") << Steps([](const QString &f) {
            append(f, {1, 2, 3});
            accept(f, 2);
        }) << QList<int>{3};
        QTest::newRow("all accepted, then more") << Steps([](const QString &f) {
            append(f, {1, 2});
            accept(f, 2);
            QCOMPARE(QFile(f + "/office.journal").size(), 0);
            append(f, {3});
        }) << QList<int>{3};
        QTest::newRow("a line torn by a power cut") << Steps([](const QString &f) {
            writeFile(f + "/office.journal", "{\"seq\":1}\n{\"seq\":2}\n{\"seq\":");
            append(f, {4});
        }) << QList<int>{1, 2, 4};
        QTest::newRow("a mark from before an interrupted truncation")
            << Steps([](const QString &f) {
                   append(f, {5, 6});
                   writeFile(f + "/office.sent", "9999\n");
               })
            << QList<int>{5, 6};
        QTest::newRow("a mark inside a line, from another process") << Steps([](const QString &f) {
            append(f, {5, 6});
            writeFile(f + "/office.sent", "3\n");
        }) << QList<int>{5, 6};
    }

    void whatIsPendingSurvivesARestart()
    {
        QFETCH(Steps, steps);
        QFETCH(QList<int>, pending);

        QTemporaryDir dir;
        const QString folder = dir.filePath(QStringLiteral("run-log"));
        steps(folder);
        QList<int> seqs;
        RoomJournal journal(folder);
        for (const RoomJournal::Entry &entry : journal.pending(100))
            if (entry.event.contains(QStringLiteral("seq")))
                seqs << entry.event.value(QStringLiteral("seq")).toInt();
        QCOMPARE(seqs, pending);
    }

    // The sender keeps up with a run that never stops appending, so the
    // journal is never wholly accepted at once; or the server refuses the
    // room for months. Either way the journal stays bounded, and what was
    // not accepted of the last run stays.
    void theJournalStaysBounded_data()
    {
        QTest::addColumn<bool>("accepting");
        QTest::addColumn<qint64>("limit");

        QTest::newRow("a server that accepts") << true << RoomJournal::RotateBytes;
        QTest::newRow("a server that refuses the room") << false << RoomJournal::CapBytes;
    }

    void theJournalStaysBounded()
    {
        QFETCH(bool, accepting);
        QFETCH(qint64, limit);

        QTemporaryDir dir;
        RoomJournal journal(dir.path());
        const QString padding(20'000, QLatin1Char('x'));
        const auto add = [&](int seq) {
            QVERIFY(journal.append({{"run", QStringLiteral("run %1").arg(qAbs(seq) / 100)},
                                    {"seq", seq},
                                    {"file", padding}}));
        };
        int dropped = 0;
        for (int seq = 1; seq <= 599; ++seq) {
            add(seq);
            if (accepting) {
                const QList<RoomJournal::Entry> entries = journal.pending(100);
                add(-seq);
                journal.accepted(entries.last().end);
            } else {
                add(-seq);
            }
            dropped += journal.compact();
            // Never beyond the bound, not only at the end: a compaction
            // that fails once fails again with each event.
            const qint64 size = QFileInfo(journal.path()).size();
            QVERIFY2(size <= limit + 41'000,
                     qPrintable(QStringLiteral("%1 bytes after event %2").arg(size).arg(seq)));
        }
        QCOMPARE(dropped > 0, !accepting);
        // The last run (seq 500 to 599 and their pairs) whole, less what
        // was accepted.
        int lastRun = 0;
        for (const RoomJournal::Entry &entry : journal.pending(100'000))
            lastRun += entry.event["run"] == QLatin1String("run 5") ? 1 : 0;
        QCOMPARE(lastRun, accepting ? 1 : 200);
    }

    void theShortestRoundTripGivesTheOffset_data()
    {
        QTest::addColumn<QList<QList<int>>>("samples"); // sent, server, received (ms)
        QTest::addColumn<qint64>("offset");

        QTest::newRow("a clock 3 s ahead") << QList<QList<int>>{{3000, 0, 3010}} << qint64(3005);
        QTest::newRow("a clock 2 s behind") << QList<QList<int>>{{0, 2000, 4}} << qint64(-1998);
        QTest::newRow("a slow answer is outweighed")
            << QList<QList<int>>{{0, 900, 1000}, {2000, 2010, 2020}, {3000, 3200, 3300}}
            << qint64(0);
    }

    void theShortestRoundTripGivesTheOffset()
    {
        QFETCH(QList<QList<int>>, samples);
        QFETCH(qint64, offset);

        const QDateTime base(QDate(2026, 6, 7), QTime(8, 0), Qt::UTC);
        QList<ClockOffset> taken;
        for (const QList<int> &s : samples)
            taken << ClockOffset::sample(base.addMSecs(s[0]), base.addMSecs(s[1]),
                                         base.addMSecs(s[2]));
        QCOMPARE(ClockOffset::best(taken).offsetMs, offset);
    }
};

QTEST_GUILESS_MAIN(TestRoomJournal)
#include "tst_roomjournal.moc"
