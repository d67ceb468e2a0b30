#include "platform/SingleInstance.h"

#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#ifdef __linux__
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>
#endif

namespace {

// Makes folder immutable, or mutable again: then not even root may add a
// file there, as on a read-only mount.
bool setImmutable(const QString &folder, bool on)
{
#ifndef __linux__
    Q_UNUSED(folder);
    Q_UNUSED(on);
    return false;
#else
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY);
    if (fd < 0)
        return false;
    int flags = 0;
    bool done = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
    done = done && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    ::close(fd);
    return done;
#endif
}

} // namespace

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

    // Reading and playing need no write: a folder that takes no lock runs,
    // says that a second copy may go unnoticed, and still sends one that
    // finds it listening to the front.
    void aFolderThatCannotBeWrittenRunsAndSaysSo()
    {
#ifndef __linux__
        QSKIP("a folder not even an administrator may write is made with Linux's immutable flag");
#endif
        QTemporaryDir dir;
        const QString data = dir.filePath("data");
        QVERIFY(QDir().mkpath(data));
        QVERIFY2(setImmutable(data, true), "the file system keeps no immutable flag");
        const auto writable = qScopeGuard([&] { setImmutable(data, false); });
        QVERIFY(!QFile(data + "/probe").open(QIODevice::WriteOnly));

        SingleInstance first(data);
        QVERIFY(first.claim());
        QCOMPARE(first.error(), QString());
        QVERIFY2(first.warning().contains(QStringLiteral("无法察觉")), qPrintable(first.warning()));
        QSignalSpy raised(&first, &SingleInstance::raiseRequested);
        SingleInstance second(data);
        QCOMPARE(second.claim(), false);
        QTRY_COMPARE(raised.size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
