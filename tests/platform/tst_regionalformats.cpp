#include "platform/RegionalFormats.h"

#include <QTest>

class TestRegionalFormats : public QObject
{
    Q_OBJECT

private slots:
    void texts_data()
    {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<QDateTime>("value");
        QTest::addColumn<QString>("expected");

        const QLocale zh(QLocale::Chinese, QLocale::China);
        const QLocale us(QLocale::English, QLocale::UnitedStates);
        const QDate day(2026, 6, 7);
        QTest::newRow("zh afternoon")
            << zh << QDateTime(day, QTime(14, 5, 9)) << "2026/6/7 14:05:09";
        QTest::newRow("zh morning keeps two-digit hours")
            << zh << QDateTime(day, QTime(8, 0, 1)) << "2026/6/7 08:00:01";
        QTest::newRow("zh midnight is the date alone")
            << zh << QDateTime(day, QTime(0, 0)) << "2026/6/7";
        QTest::newRow("zh just after midnight")
            << zh << QDateTime(day, QTime(0, 0, 1)) << "2026/6/7 00:00:01";
        QTest::newRow("milliseconds do not count as time")
            << zh << QDateTime(day, QTime(0, 0, 0, 500)) << "2026/6/7";
        QTest::newRow("invalid is empty") << zh << QDateTime() << "";
        const QString pm = us.toString(QTime(14, 5, 9), QStringLiteral("h:mm:ss AP"));
        QTest::newRow("us twelve-hour clock")
            << us << QDateTime(day, QTime(14, 5, 9)) << QStringLiteral("6/7/26 ") + pm;
    }

    void texts()
    {
        QFETCH(QLocale, locale);
        QFETCH(QDateTime, value);
        QFETCH(QString, expected);
        QCOMPARE(RegionalFormats(locale).dateTime(value), expected);
    }

    void longTimeNeverShowsAZone_data()
    {
        QTest::addColumn<QLocale>("locale");
        QTest::newRow("zh_CN") << QLocale(QLocale::Chinese, QLocale::China);
        QTest::newRow("en_US") << QLocale(QLocale::English, QLocale::UnitedStates);
        QTest::newRow("de_DE") << QLocale(QLocale::German, QLocale::Germany);
        QTest::newRow("C") << QLocale::c();
    }

    void longTimeNeverShowsAZone()
    {
        QFETCH(QLocale, locale);
        const RegionalFormats formats(locale);
        QVERIFY2(!formats.longTimeFormat().contains(QLatin1Char('t')),
                 qPrintable(formats.longTimeFormat()));
        const QString text = formats.longTime(QTime(9, 7, 5));
        QVERIFY2(text.contains(QStringLiteral("07")) && text.contains(QStringLiteral("05")),
                 qPrintable(text));
    }
};

QTEST_MAIN(TestRegionalFormats)
#include "tst_regionalformats.moc"
