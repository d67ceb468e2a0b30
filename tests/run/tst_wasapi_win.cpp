#include "support/TestSounds.h"

#include "run/SoundDevice.h"
#include "run/SoundError.h"

#include <QTemporaryDir>
#include <QTest>

// The WASAPI sound device on the system's default output: under Wine, its
// PulseAudio driver plays into the server PULSE_SERVER names (the tests'
// null sink, recorded by the script that runs this). Run with
// TESSIVOX_EXPECT_NO_OUTPUT=1 where no server answers.
class tst_WasapiWin : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    const bool m_noOutput = qgetenv("TESSIVOX_EXPECT_NO_OUTPUT") == "1";

    // A folder and a file name with Chinese characters and blanks.
    QString tone(qint64 ms)
    {
        const QString path = m_dir.filePath(QStringLiteral("考试 声音/开始 考试.wav"));
        TestSounds::writeTone(path, ms);
        return path;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("考试 声音")));
        if (!m_noOutput && SystemSoundOutputs().count() == 0) {
            if (qgetenv("TESSIVOX_REQUIRE_AUDIO") == "1")
                QFAIL("no sound output");
            QSKIP("no sound output");
        }
    }

    // Got ready ahead, started at once, heard from the moment the output's
    // clock says, played to its end; or, without an output, a failure that
    // names the file, after which the device takes the next sound as usual.
    void playsGotReadyAhead()
    {
        SoundDevice player;
        player.setFileName(tone(600));
        player.prepare();
        player.open();
        QCOMPARE(player.length(), 600);
        QTest::qWait(300);
        const qint64 calledMs = QDateTime::currentMSecsSinceEpoch();
        player.play();
        const qint64 returnedMs = QDateTime::currentMSecsSinceEpoch();
        if (m_noOutput) {
            QVERIFY2(player.playFailure().contains(player.fileName()),
                     qPrintable(player.playFailure()));
            QCOMPARE(SystemSoundOutputs().count(), 0);
        } else {
            QCOMPARE(player.playFailure(), QString());
            // Heard once play() was called (it waits for the output's clock
            // to move, so possibly before it returned), and not a second after.
            const qint64 heardUs = returnedMs * 1000 + player.startHeardUs();
            QVERIFY2(heardUs >= calledMs * 1000 && heardUs < (returnedMs + 1000) * 1000,
                     qPrintable(QString::number(heardUs - calledMs * 1000)));
        }
        QTest::qWait(900);
        const QString failure = player.playFailure();
        player.close();
        QCOMPARE(player.playFailure(), failure);
        QCOMPARE(failure.isEmpty(), !m_noOutput);
    }

    // Opened without preparation, as a run's first instruction may be.
    void playsOpenedAtTheSecond()
    {
        SoundDevice player;
        player.setFileName(tone(300));
        player.open();
        player.play();
        QCOMPARE(player.playFailure().isEmpty(), !m_noOutput);
        QTest::qWait(500);
        player.stop();
        player.play();
        QCOMPARE(player.playFailure().isEmpty(), !m_noOutput);
    }

    void aMissingFileIsNamed()
    {
        SoundDevice player;
        player.setFileName(m_dir.filePath(QStringLiteral("考试 声音/没有.wav")));
        player.prepare();
        try {
            player.open();
            QFAIL("opened a missing file");
        } catch (const SoundError &error) {
            QVERIFY2(error.text().contains(player.fileName()), qPrintable(error.text()));
        }
        QVERIFY(!player.isOpen());
    }
};

QTEST_GUILESS_MAIN(tst_WasapiWin)
#include "tst_wasapi_win.moc"
