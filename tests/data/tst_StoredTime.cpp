#include "data/StoredTime.h"

#include <QTest>

class tst_StoredTime : public QObject
{
    Q_OBJECT

private slots:
    void writtenForms()
    {
        const QDateTime value(QDate(2024, 3, 5), QTime(7, 8, 9, 999));
        QCOMPARE(StoredTime::fromDateTime(value), QStringLiteral("2024-03-05 07:08:09"));
        QCOMPARE(StoredTime::fromTime(value.time()), QStringLiteral("07:08:09"));
    }

    void reading_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QDateTime>("dateTime");
        QTest::addColumn<QTime>("time");
        const QDate day(2024, 2, 29);
        QTest::newRow("date-time")
            << "2024-02-29 13:14:15" << QDateTime(day, QTime(13, 14, 15)) << QTime(13, 14, 15);
        QTest::newRow("fraction of a second")
            << "2024-02-29T13:14:15.5" << QDateTime(day, QTime(13, 14, 15, 500))
            << QTime(13, 14, 15);
        QTest::newRow("date alone is midnight")
            << "2024-02-29" << QDateTime(day, QTime(0, 0)) << QTime();
        QTest::newRow("play time") << "08:05:09" << QDateTime() << QTime(8, 5, 9);
        QTest::newRow("no seconds") << "08:05" << QDateTime() << QTime(8, 5);
        QTest::newRow("impossible date") << "2023-02-29 13:14:15" << QDateTime() << QTime();
        QTest::newRow("hour 24") << "24:00:00" << QDateTime() << QTime();
        QTest::newRow("unpadded hour") << "8:05:09" << QDateTime() << QTime();
        QTest::newRow("date-time with slashes and an unpadded hour")
            << "2005/5/9 8:05:09" << QDateTime(QDate(2005, 5, 9), QTime(8, 5, 9)) << QTime();
        QTest::newRow("time zone") << "08:05:09+02:00" << QDateTime() << QTime();
        QTest::newRow("empty") << "" << QDateTime() << QTime();
    }
    void reading()
    {
        QFETCH(QString, text);
        QTEST(StoredTime::toDateTime(text), "dateTime");
        QTEST(StoredTime::toTime(text), "time");
    }
};

QTEST_APPLESS_MAIN(tst_StoredTime)
#include "tst_StoredTime.moc"
