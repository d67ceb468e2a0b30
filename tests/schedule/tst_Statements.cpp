#include "data/DbError.h"
#include "data/TDataModule1.h"
#include "schedule/Statements.h"
#include "support/TestDatabase.h"

#include <QTest>

// The statements and the query objects' cursor against a real database file.
class tst_Statements : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_db = std::make_unique<TestDatabase>(QStringLiteral("First"));
        m_module = std::make_unique<TDataModule1>(m_db->path());
    }
    void cleanup()
    {
        m_module.reset();
        m_db.reset();
    }

    void cursor_data()
    {
        QTest::addColumn<QString>("moves");
        QTest::addColumn<QString>("row");
        QTest::addColumn<bool>("eof");
        QTest::newRow("opened on first row") << ""
                                             << "f0" << false;
        QTest::newRow("next onto last") << "nn"
                                        << "f2" << false;
        QTest::newRow("next from last sets eof, stays") << "nnn"
                                                        << "f2" << true;
        QTest::newRow("next with eof does nothing") << "nnnn"
                                                    << "f2" << true;
        QTest::newRow("prior after eof steps back") << "nnnp"
                                                    << "f1" << false;
        QTest::newRow("prior on first stays") << "p"
                                              << "f0" << false;
        QTest::newRow("first after eof") << "nnnf"
                                         << "f0" << false;
    }
    void cursor()
    {
        QFETCH(QString, moves);
        for (int i = 0; i < 3; ++i)
            m_db->addSound("s", QStringLiteral("f%1").arg(i), {}, QTime(8, i));
        Query &query = open(Statements::selectSoundsByPlaytime("s"));
        for (QChar move : moves)
            move == u'n' ? query.next() : move == u'p' ? query.prior() : query.first();
        QTEST(query.text("filename"), "row");
        QTEST(query.eof(), "eof");
    }

    void readingWithoutValues()
    {
        Query &empty = open(Statements::selectSounds("nobody"));
        QVERIFY(empty.eof());
        empty.prior();
        QVERIFY(empty.eof());
        QCOMPARE(empty.text("filename"), QString());

        m_db->exec("INSERT INTO sound (subjectname) VALUES ('n')");
        Query &nulls = open(Statements::selectSounds("n"));
        QCOMPARE(nulls.text("explain"), QString());
        QVERIFY(!nulls.time("playtime").isValid());
        // A misspelt column must not pass for an empty value.
        QVERIFY_THROWS_EXCEPTION(DbError, nulls.text("filname"));
    }

    void titleFromFirstRowUpdatedOnlyInIdOne()
    {
        m_db->exec("DELETE FROM var");
        m_db->addTitle(7, "Seven");
        m_db->addTitle(1, "One");
        run(Statements::updateTitle("New"));
        Query &query = open(Statements::selectTitle());
        QCOMPARE(query.text("systitle"), QStringLiteral("New"));
        query.next();
        QCOMPARE(query.text("systitle"), QStringLiteral("Seven"));
    }

    void subjectRows()
    {
        const QDateTime start(QDate(2024, 6, 7), QTime(9, 0)), end = start.addSecs(9000);
        run(Statements::insertSubject("数学", start, end));
        run(Statements::insertSubject("语文", start, end));
        QCOMPARE(m_db->rows("SELECT starttime, endtime FROM test LIMIT 1"),
                 QList<QStringList>({{"2024-06-07 09:00:00", "2024-06-07 11:30:00"}}));
        QCOMPARE(open(Statements::selectSubjectNames()).text("subjectname"),
                 QStringLiteral("数学"));

        run(Statements::updateSubjectTimes("语文", start.addDays(1), end.addDays(1)));
        QCOMPARE(open(Statements::selectSubjectTimes("数学")).dateTime("endtime"), end);
        QCOMPARE(open(Statements::selectSubject("语文")).dateTime("starttime"), start.addDays(1));

        m_db->addSound("数学", "a.wav", {}, QTime(8, 0));
        m_db->addSound("语文", "b.wav", {}, QTime(8, 0));
        run(Statements::deleteSubject("数学"));
        run(Statements::deleteSounds("数学"));
        QCOMPARE(m_db->rows("SELECT subjectname FROM test UNION ALL SELECT filename FROM sound"),
                 QList<QStringList>({{"语文"}, {"b.wav"}}));
    }

    void awkwardValuesRoundTrip_data()
    {
        QTest::addColumn<QString>("value");
        // Another subject that a careless store or comparison would take for value.
        QTest::addColumn<QString>("lookalike");
        QTest::newRow("single quotes") << "it's 'quoted'"
                                       << "it''s ''quoted''";
        QTest::newRow("CR LF lines") << "line one\r\nline two"
                                     << "line one\nline two";
        QTest::newRow("Unicode") << "语文 Ärger 😀"
                                 << "语文 A\u0308rger 😀";
        QTest::newRow("leading and trailing blanks") << "  spaced  "
                                                     << "spaced";
        QTest::newRow("SQL text") << "x' OR '1'='1"
                                  << "x";
    }
    void awkwardValuesRoundTrip()
    {
        QFETCH(QString, value);
        QFETCH(QString, lookalike);
        run(Statements::updateTitle(value));
        run(Statements::insertSound(value, value, value, QTime(8, 0)));
        run(Statements::insertSound(lookalike, {}, {}, QTime(7, 0)));
        QCOMPARE(open(Statements::selectTitle()).text("systitle"), value);
        Query &sounds = open(Statements::selectSoundsByPlaytime(value));
        QCOMPARE(sounds.recordCount(), 1);
        QCOMPARE(sounds.text("filename"), value);
        QCOMPARE(sounds.text("explain"), value);
    }

    void orderedByTimeOfDay_data()
    {
        QTest::addColumn<QStringList>("stored");
        QTest::addColumn<QString>("order");
        QTest::newRow("written form") << QStringList{"10:00:00", "09:00:00", "09:30:00"} << "120";
        QTest::newRow("date parts do not count")
            << QStringList{"2020-01-01 10:00:00", "2030-01-01 09:00:00", "1899-12-30 09:30:00"}
            << "120";
        QTest::newRow("mixed forms")
            << QStringList{"2024-05-06T09:30:00", "10:00:00.000", "09:00:00"} << "201";
        QTest::newRow("same second keeps saved order")
            << QStringList{"09:00:00.900", "09:00:00", "08:59:59.999"} << "201";
    }
    void orderedByTimeOfDay()
    {
        QFETCH(QStringList, stored);
        for (int i = 0; i < stored.size(); ++i)
            m_db->addSound("s", QString::number(i), {}, stored.at(i));
        QString order;
        for (Query &query = open(Statements::selectSoundsByPlaytime("s")); !query.eof();
             query.next())
            order += query.text("filename");
        QTEST(order, "order");
    }

private:
    Query &open(const Statement &statement)
    {
        m_module->ADOQuery6.replace(statement);
        m_module->ADOQuery6.open();
        return m_module->ADOQuery6;
    }
    void run(const Statement &statement)
    {
        m_module->ADOQuery11.replace(statement);
        m_module->ADOQuery11.execute();
    }

    std::unique_ptr<TestDatabase> m_db;
    std::unique_ptr<TDataModule1> m_module;
};

QTEST_GUILESS_MAIN(tst_Statements)
#include "tst_Statements.moc"
