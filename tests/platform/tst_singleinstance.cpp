#include "platform/SingleInstance.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

class TestSingleInstance : public QObject
{
    Q_OBJECT

private slots:
    // A second program on the same data folder would append to the first's
    // journal of the office and move its mark.
    void oneCopyPerDataFolder_data()
    {
        QTest::addColumn<QString>("second");  // its data folder, under the same temporary one
        QTest::addColumn<bool>("firstEnded"); // before the second starts
        QTest::addColumn<bool>("secondRuns");

        QTest::newRow("a second copy on the same folder") << "data" << false << false;
        QTest::newRow("the same folder named another way") << "data/../data/" << false << false;
        QTest::newRow("a copy on another folder") << "other" << false << true;
        QTest::newRow("a copy after the first ended") << "data" << true << true;
    }

    void oneCopyPerDataFolder()
    {
        QFETCH(QString, second);
        QFETCH(bool, firstEnded);
        QFETCH(bool, secondRuns);

        QTemporaryDir dir;
        auto first = std::make_unique<SingleInstance>(dir.filePath("data"));
        QVERIFY(first->claim());
        QSignalSpy raised(first.get(), &SingleInstance::raiseRequested);
        if (firstEnded)
            first.reset();
        QDir().mkpath(dir.filePath("other"));
        SingleInstance next(dir.filePath(second));
        QCOMPARE(next.claim(), secondRuns);
        QCOMPARE(next.error(), QString());
        // The first comes to the front.
        if (!secondRuns)
            QTRY_COMPARE(raised.size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
