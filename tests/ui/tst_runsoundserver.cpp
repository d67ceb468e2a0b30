#include "support/PrivateSoundServer.h"
#include "support/ShellFixture.h"
#include "support/TestSounds.h"

#include "controls/TFlatComboBox.h"
#include "platform/Timer.h"
#include "run/SoundDevice.h"
#include "ui/main/TFrm_main.h"
#include "ui/run/TFrm_Subject.h"

#include <QFile>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

// The run window on the real sound device and the real count of outputs,
// with a sound server of the test's own that is not there when the run
// starts.
class TestRunSoundServer : public QObject
{
    Q_OBJECT

private slots:
    // The run opens at once, the missing output said in a box that waits for
    // nobody; the instruction due before the server comes fails, and the
    // next, its sound got ready while there was no server, plays through the
    // server started meanwhile.
    void aRunStartedWithoutASoundServerPlaysThroughOneStartedLater()
    {
        REQUIRE_AUDIO(!QStandardPaths::findExecutable("pulseaudio").isEmpty(),
                      "pulseaudio is not installed");
        QTemporaryDir folder;
        PrivateSoundServer server(folder.path());
        ShellFixture f;
        const SystemSoundOutputs outputs;
        f.soundOutputs.system = &outputs;
        f.platform.makeMediaPlayer = [] { return std::make_unique<SoundDevice>(); };
        const QString sounds = f.programFolder.path() + QStringLiteral("/sound/");
        TestSounds::writeTone(sounds + QStringLiteral("before.wav"), 300);
        TestSounds::writeTone(sounds + QStringLiteral("after.wav"), 300);
        // The second close enough behind the first to be got ready as it is armed.
        f.db.addSound(QStringLiteral("语文"), QStringLiteral("before.wav"), QStringLiteral("A"),
                      QStringLiteral("08:00:00"));
        f.db.addSound(QStringLiteral("语文"), QStringLiteral("after.wav"), QStringLiteral("B"),
                      QStringLiteral("08:00:02"));

        TFrm_main *main = f.start();
        main->show();
        main->ComboBox1->addItem(QStringLiteral("语文"));
        main->ComboBox1->setCurrentIndex(main->ComboBox1->count() - 1);
        QTest::mouseClick(main->FBtn_ok, Qt::LeftButton);
        TFrm_Subject *run = f.shell.Frm_Subject;
        QVERIFY(run && run->isVisible());
        QVERIFY(f.boxes.shown.isEmpty());
        // The test's clock stands still: the test alone has sounds got ready.
        run->Timer2->setInterval(0);
        const QString noOutput = QStringLiteral("声音控制器不正确，程序可能无法正常运行 !");
        QTRY_COMPARE(f.boxes.notices, QStringList{noOutput});

        // Each tick 2 ms into its second, then the re-evaluation that arms the next.
        const auto playAt = [&](const QTime &second) {
            f.clock.set(QDateTime(QDate(2026, 6, 7), second.addMSecs(2)));
            run->Timer1->timeout();
            f.clock.advance(1);
            run->Timer1->timeout();
        };
        playAt(QTime(8, 0, 0));
        QCOMPARE(f.boxes.notices.size(), 2);
        QVERIFY2(f.boxes.notices[1].startsWith(noOutput + QStringLiteral("\n文件：before.wav\n")),
                 qPrintable(f.boxes.notices[1]));
        QVERIFY(server.start());
        playAt(QTime(8, 0, 2));
        QCOMPARE(f.boxes.notices.size(), 2);
        QVERIFY(QTest::qWaitFor([&] { return server.heardSound(); }));

        QTest::mouseClick(run->Fbtn_quit, Qt::LeftButton);
        f.settle();
        QFile log(f.db.dir() + QStringLiteral("/data/run-log/2026-06-07.log"));
        QVERIFY(log.open(QIODevice::ReadOnly | QIODevice::Text));
        QStringList plays;
        while (!log.atEnd()) {
            const QStringList fields = QString::fromUtf8(log.readLine()).split(QLatin1Char('\t'));
            if (fields.value(1) == QLatin1String("played") ||
                fields.value(1) == QLatin1String("failed"))
                plays << fields.mid(1, 2).join(QLatin1Char(' '));
        }
        QCOMPARE(plays, (QStringList{"failed 08:00:00", "played 08:00:02"}));
    }
};

QTEST_MAIN(TestRunSoundServer)
#include "tst_runsoundserver.moc"
