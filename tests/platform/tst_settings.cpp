#include "platform/Settings.h"

#include <QFile>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>

class TestSettings : public QObject
{
    Q_OBJECT

private slots:
    void whereTheDatabaseIsAndWhichRoomThisIs_data()
    {
        QTest::addColumn<QByteArray>("ini"); // empty: no file
        QTest::addColumn<QStringList>("environment");
        QTest::addColumn<QString>("database");
        QTest::addColumn<QString>("room");
        QTest::addColumn<int>("problems");

        const QString host = QSysInfo::machineHostName();
        QTest::newRow("no file: the PC's own database file")
            << QByteArray() << QStringList() << "./data/asdf.mdb" << host << 0;
        QTest::newRow("a file with only a room")
            << QByteArray("[room]\nname=Room 1, north\n") << QStringList() << "./data/asdf.mdb"
            << "Room 1, north" << 0;
        QTest::newRow("a server by name, its options passed on")
            << QByteArray("[database]\nhost=db.school\nport=5433\nname=exams\nuser=room\n"
                          "options=sslmode=require connect_timeout=5\n")
            << QStringList()
            << "postgresql://room@db.school:5433/exams?sslmode=require&connect_timeout=5" << host
            << 0;
        QTest::newRow("a server on a Unix socket folder")
            << QByteArray("[database]\nhost=/run/pg sock\nport=5432\nname=exams\n") << QStringList()
            << "postgresql:///exams?host=/run/pg%20sock&port=5432" << host << 0;
        QTest::newRow("a server by its IPv6 address")
            << QByteArray("[database]\nhost=::1\nport=5432\nname=exams\n") << QStringList()
            << "postgresql://[::1]:5432/exams" << host << 0;
        QTest::newRow("the environment wins over the file")
            << QByteArray("[database]\nhost=a\nname=b\n[room]\nname=file\n")
            << QStringList{"TESSIVOX_DATABASE=postgresql:///x?host=/s", "TESSIVOX_ROOM=考场 17"}
            << "postgresql:///x?host=/s"
            << "考场 17" << 0;
        QTest::newRow("what cannot be used is said, the rest is taken")
            << QByteArray("[database]\nhost=a\nport=huge\nname=b\noptions=ssl\n[room]\n"
                          "clock_limit=soon\n")
            << QStringList() << "postgresql://a/b" << host << 3;
    }

    void whereTheDatabaseIsAndWhichRoomThisIs()
    {
        QFETCH(QByteArray, ini);
        QFETCH(QStringList, environment);
        QFETCH(QString, database);
        QFETCH(QString, room);
        QFETCH(int, problems);

        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("tessivox.ini"));
        if (!ini.isEmpty()) {
            QFile out(file);
            QVERIFY(out.open(QIODevice::WriteOnly));
            out.write(ini);
        }
        QProcessEnvironment env;
        for (const QString &pair : environment)
            env.insert(pair.section(QLatin1Char('='), 0, 0), pair.section(QLatin1Char('='), 1));
        const Settings settings = Settings::read(file, env);
        QCOMPARE(settings.database, database);
        QCOMPARE(settings.room, room);
        QCOMPARE(settings.problems.size(), problems);
    }

    void aDisplayAndAClockLimit()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("tessivox.ini"));
        QFile out(file);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write("[room]\nclock_limit=2.5\n[display]\nscreen=HDMI-1\n");
        out.close();
        const Settings settings = Settings::read(file, {});
        QCOMPARE(settings.clockLimitMs, 2500);
        QCOMPARE(settings.screen, QStringLiteral("HDMI-1"));
    }
};

QTEST_MAIN(TestSettings)
#include "tst_settings.moc"
