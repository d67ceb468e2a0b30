#include "support/ShellFixture.h"

#include "controls/TFlatComboBox.h"
#include "platform/Timer.h"
#include "ui/main/TFrm_main.h"
#include "ui/run/TFrm_Subject.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSemaphore>
#include <QTest>
#include <QTreeWidget>

class TestRunWindow : public QObject
{
    Q_OBJECT

    std::unique_ptr<ShellFixture> f;

    TFrm_Subject *startRun(const QString &subject)
    {
        TFrm_main *main = f->start();
        main->show();
        main->ComboBox1->addItem(subject);
        main->ComboBox1->setCurrentIndex(main->ComboBox1->count() - 1);
        QTest::mouseClick(main->FBtn_ok, Qt::LeftButton);
        return f->shell.Frm_Subject;
    }

    QStringList row(const TFrm_Subject *run, int i)
    {
        const QTreeWidgetItem *item = run->ListView1->topLevelItem(i);
        return {item->text(0), item->text(1), item->text(2)};
    }

private slots:
    void init()
    {
        f = std::make_unique<ShellFixture>();
        f->clock.set(QDateTime(QDate(2026, 6, 7), QTime(7, 50)));
    }

    void cleanup() { f.reset(); }

    void creationShowsTheSubjectAndArmsTheFirstInstruction()
    {
        f->db.addSubject(QStringLiteral("语文"), QStringLiteral("2026-06-07 00:00:00"),
                         QStringLiteral("2026-06-07 11:30:00"));
        f->db.addSound(QStringLiteral("语文"), QStringLiteral("b.wav"), QStringLiteral("第二条"),
                       QStringLiteral("08:05:00"));
        f->db.addSound(QStringLiteral("语文"), QStringLiteral("a.wav"),
                       QStringLiteral("第一条\r\n两行"), QStringLiteral("08:05:00"));
        f->db.addSound(QStringLiteral("语文"), QStringLiteral("c.wav"), QStringLiteral("开始"),
                       QStringLiteral("07:55:00"));
        TFrm_Subject *run = startRun(QStringLiteral("语文"));

        QCOMPARE(run->windowTitle(), QStringLiteral("开始运行程序...."));
        QCOMPARE(run->size(), QSize(431, 362));
        QCOMPARE(run->Lbl_Name->text(), QStringLiteral("语文"));
        // A start at midnight shows the date alone.
        QCOMPARE(run->Lbl_Starttime->text(), QStringLiteral("2026/6/7"));
        QCOMPARE(run->Lbl_Endtime->text(), QStringLiteral("2026/6/7 11:30:00"));
        QCOMPARE(run->Label1->text(), QStringLiteral("2026/6/7 07:50:00"));
        QVERIFY(f->boxes.shown.isEmpty());

        QCOMPARE(run->ListView1->topLevelItemCount(), 3);
        QCOMPARE(row(run, 0), (QStringList{"c.wav", "开始", "07:55:00"}));
        // Equal times both appear, in the order they were stored.
        QCOMPARE(row(run, 1), (QStringList{"b.wav", "第二条", "08:05:00"}));
        QCOMPARE(row(run, 2), (QStringList{"a.wav", "第一条\r\n两行", "08:05:00"}));
        QVERIFY(run->ListView1->isHidden());

        QCOMPARE(run->Timer1->interval(), 5 * 60000);
        QCOMPARE(run->Timer2->interval(), 1000);
        QCOMPARE(run->edittime->text(), QStringLiteral("播放时间：7:55:0"));
        QCOMPARE(run->Memo_content->toPlainText(), QStringLiteral("播放说明：开始"));
        const FakeMediaPlayer *device = f->players.last();
        QCOMPARE(device->log.first(), QStringLiteral("timeFormat"));
        QCOMPARE(device->fileName(), f->programFolder.path() + QStringLiteral("/sound/c.wav"));
    }

    void aRunWhoseQueueCouldNotBeReadDoesNotOpen()
    {
        f->db.addSubject(QStringLiteral("语文"), QStringLiteral("2026-06-07 08:00:00"),
                         QStringLiteral("2026-06-07 10:00:00"));
        f->db.addSound(QStringLiteral("语文"), QStringLiteral("a.wav"), QStringLiteral("A"),
                       QStringLiteral("08:00:00"));
        TFrm_main *main = f->start();
        main->show();
        main->ComboBox1->setCurrentIndex(main->ComboBox1->findText(QStringLiteral("语文")));
        f->db.exec(QStringLiteral("begin exclusive"));
        QTest::mouseClick(main->FBtn_ok, Qt::LeftButton);
        ShellFixture::settle();
        QCOMPARE(f->boxes.shown.size(), 1);
        QVERIFY(!f->shell.Frm_Subject);
        QVERIFY(main->isVisible());
        QVERIFY(main->isEnabled());
        QCOMPARE(main->ComboBox1->currentText(), QStringLiteral("语文"));

        f->db.exec(QStringLiteral("rollback"));
        QTest::mouseClick(main->FBtn_ok, Qt::LeftButton);
        QVERIFY(f->shell.Frm_Subject);
        QCOMPARE(f->shell.Frm_Subject->edittime->text(), QStringLiteral("播放时间：8:0:0"));
        QCOMPARE(f->boxes.shown.size(), 1);
    }

    void theClockTicks()
    {
        f->db.addSubject(QStringLiteral("语文"), QStringLiteral("2026-06-07 09:00:00"),
                         QStringLiteral("2026-06-07 11:30:00"));
        TFrm_Subject *run = startRun(QStringLiteral("语文"));
        f->clock.set(QDateTime(QDate(2026, 6, 8), QTime(0, 0)));
        run->Timer2Timer();
        QCOMPARE(run->Label1->text(), QStringLiteral("2026/6/8"));
    }

    void aSubjectWithoutInstructionsSaysSoAndKeepsTheClock()
    {
        f->db.addSubject(QStringLiteral("数学"), QStringLiteral("2026-06-07 09:00:00"),
                         QStringLiteral("2026-06-07 11:30:00"));
        TFrm_Subject *run = startRun(QStringLiteral("数学"));
        QCOMPARE(f->boxes.texts(), QStringList{QStringLiteral("没有要播放的文件")});
        QCOMPARE(run->Timer1->interval(), 0);
        QCOMPARE(run->Timer2->interval(), 1000);
        QVERIFY(run->edittime->text().isEmpty());
        QVERIFY(run->Memo_content->toPlainText().isEmpty());
        QVERIFY(run->isVisible());
    }

    // The run starts first, whatever the count of outputs takes; the box
    // saying there is none waits for nobody.
    void noSoundOutputIsReportedOnceTheRunHasStarted()
    {
        QSemaphore answer;
        f->soundOutputs.setCount(0);
        f->soundOutputs.answerWhen = &answer;
        f->db.addSound(QStringLiteral("语文"), QStringLiteral("a.wav"), QStringLiteral("A"),
                       QStringLiteral("08:00:00"));
        TFrm_Subject *run = startRun(QStringLiteral("语文"));
        QCOMPARE(run->Timer1->interval(), 10 * 60000);
        QVERIFY(f->boxes.notices.isEmpty());
        answer.release();
        QTRY_COMPARE(f->boxes.notices,
                     QStringList{QStringLiteral("声音控制器不正确，程序可能无法正常运行 !")});
        QVERIFY(f->boxes.shown.isEmpty());
        // No test row: empty start and end, nothing else changes.
        QVERIFY(run->Lbl_Starttime->text().isEmpty());
        QCOMPARE(run->Lbl_Name->text(), QStringLiteral("语文"));
        QCOMPARE(run->Timer1->interval(), 10 * 60000);
    }

    void aQuoteInTheSubjectNameIsJustText()
    {
        const QString name = QStringLiteral("O'Brien's \"英语\"");
        f->db.addSubject(name, QStringLiteral("2026-06-07 09:00:00"),
                         QStringLiteral("2026-06-07 10:00:00"));
        f->db.addSound(name, QStringLiteral("a.wav"), QStringLiteral("A"),
                       QStringLiteral("08:00:00"));
        TFrm_Subject *run = startRun(name);
        QVERIFY(f->boxes.shown.isEmpty());
        QCOMPARE(run->ListView1->topLevelItemCount(), 1);
        QCOMPARE(run->Timer1->interval(), 10 * 60000);
    }

    void aDatabaseErrorStopsCreationWhereItHappens()
    {
        f->db.addSubject(QStringLiteral("语文"), QStringLiteral("2026-06-07 09:00:00"),
                         QStringLiteral("2026-06-07 11:30:00"));
        f->db.exec(QStringLiteral("drop table sound"));
        startRun(QStringLiteral("语文"));
        QCOMPARE(f->boxes.shown.size(), 1);
        QCOMPARE(f->boxes.shown[0].icon, MessageBoxes::Icon::Error);
        QVERIFY2(f->boxes.shown[0].text.contains(QStringLiteral("sound")),
                 qPrintable(f->boxes.shown[0].text));
        // A run that could not read its queue would play nothing: it does
        // not open, and the main window stays.
        ShellFixture::settle();
        QVERIFY(!f->shell.Frm_Subject);
        QVERIFY(f->shell.Frm_main->isVisible());
        QVERIFY(f->shell.Frm_main->isEnabled());
    }

    void thePlayListButtonShowsAndHidesTheList()
    {
        TFrm_Subject *run = startRun(QStringLiteral("语文"));
        QTest::mouseClick(run->FlatButton1, Qt::LeftButton);
        QCOMPARE(run->height(), 362 + 120);
        QVERIFY(run->ListView1->isVisible());
        QTest::mouseClick(run->FlatButton1, Qt::LeftButton);
        QCOMPARE(run->height(), 362);
        QVERIFY(run->ListView1->isHidden());
        QCOMPARE(run->FlatButton1->text(), QStringLiteral("查看播放列表"));
    }

    void theRunOpensWithTheFocusOffTheTextFields()
    {
        TFrm_Subject *run = startRun(QStringLiteral("语文"));
        QTRY_COMPARE(QApplication::focusWidget(), run->FlatButton1);
    }

    void endingTheRunSilencesIt()
    {
        f->db.addSound(QStringLiteral("语文"), QStringLiteral("a.wav"), QStringLiteral("A"),
                       QStringLiteral("07:50:01"));
        QPointer<TFrm_Subject> run = startRun(QStringLiteral("语文"));
        f->clock.set(QDateTime(QDate(2026, 6, 7), QTime(7, 50, 1, 2)));
        run->Timer1->timeout();
        QVERIFY(!f->players.last()->playing().isEmpty());
        run->close();
        ShellFixture::settle();
        QVERIFY(!run);
    }

    // What the invigilator looks for: what played, failed or was skipped,
    // what comes next and how long until then.
    void thePlayListTellsWhatBecameOfEachInstruction()
    {
        for (const auto &[file, second] : {std::pair("early.wav", QTime(7, 49)),
                                           {"a.wav", QTime(8, 0)},
                                           {"missing.wav", QTime(8, 0, 10)},
                                           {"b.wav", QTime(8, 30)}})
            f->db.addSound(QStringLiteral("语文"), QString::fromLatin1(file), QString(), second);
        TFrm_Subject *run = startRun(QStringLiteral("语文"));
        f->players.last()->openFailsFor.insert(f->programFolder.path() +
                                               QStringLiteral("/sound/missing.wav"));
        const auto states = [run] {
            QStringList shown;
            for (int i = 0; i < run->ListView1->topLevelItemCount(); ++i)
                shown << run->ListView1->topLevelItem(i)->text(3);
            return shown;
        };
        const auto tickAt = [&](const QTime &second) {
            f->clock.set(QDateTime(QDate(2026, 6, 7), second));
            run->Timer1->timeout();
            for (int guard = 0; run->Timer1->interval() == 1 && guard < 10; ++guard) {
                f->clock.advance(1);
                run->Timer1->timeout();
            }
            run->Timer2Timer();
        };
        tickAt(QTime(7, 50, 0, 2));
        QCOMPARE(states(), (QStringList{"已跳过", "下一条", "", ""}));
        QCOMPARE(run->Lbl_next->text(), QStringLiteral("下一条 08:00:00，还有 00:10:00"));
        tickAt(QTime(8, 0, 0, 2));
        tickAt(QTime(8, 0, 10, 2));
        QCOMPARE(states(), (QStringList{"已跳过", "已播放", "播放失败", "下一条"}));
        QCOMPARE(run->Lbl_next->text(), QStringLiteral("下一条 08:30:00，还有 00:29:50"));
        QCOMPARE(run->ListView1->headerItem()->text(3), QStringLiteral("状态"));
    }

    // Escape is no way to end an exam by accident: it asks first.
    void escapeAsksBeforeTheRunEnds()
    {
        f->db.addSound(QStringLiteral("语文"), QStringLiteral("a.wav"), QString(),
                       QStringLiteral("08:00:00"));
        QPointer<TFrm_Subject> run = startRun(QStringLiteral("语文"));
        f->boxes.answers << MessageBoxes::Answer::Cancel;
        QTest::keyClick(run, Qt::Key_Escape);
        ShellFixture::settle();
        QCOMPARE(f->boxes.texts(), QStringList{QStringLiteral("确定停止运行吗？")});
        QVERIFY(run && run->isVisible());
        QTest::keyClick(run, Qt::Key_Escape);
        ShellFixture::settle();
        QVERIFY(!run);
    }

    void anUnansweredBoxDoesNotSilenceLaterInstructions()
    {
        const QStringList files{"1.wav", "2.wav", "missing.wav", "4.wav", "5.wav", "6.wav"};
        for (int i = 0; i < files.size(); ++i)
            f->db.addSound(QStringLiteral("语文"), files[i], files[i], QTime(8, 0, 10 * i));
        TFrm_Subject *run = startRun(QStringLiteral("语文"));
        FakeMediaPlayer *device = f->players.last();
        device->openFailsFor.insert(f->programFolder.path() + QStringLiteral("/sound/missing.wav"));

        // Each instruction's tick 2 ms into its second, then the re-evaluations.
        QStringList heard;
        qsizetype next = 0;
        const auto playRest = [&] {
            for (; next < files.size(); ++next) {
                f->clock.set(QDateTime(QDate(2026, 6, 7), QTime(8, 0, 10 * int(next), 2)));
                run->Timer1->timeout();
                heard << device->playing().section(QLatin1Char('/'), -1);
                for (int guard = 0; run->Timer1->interval() == 1 && guard < 10; ++guard) {
                    f->clock.advance(1);
                    run->Timer1->timeout();
                }
            }
        };
        // Nobody answers: a box that waited would hold the rest of the exam.
        f->boxes.whileOpen = [&](const FakeMessageBoxes::Shown &) { playRest(); };
        playRest();
        QCOMPARE(heard, (QStringList{"1.wav", "2.wav", "", "4.wav", "5.wav", "6.wav"}));
        // Where the room always saw it, the sentence; beneath it, the file
        // and why, which the sound device has no part in.
        QCOMPARE(f->boxes.notices,
                 QStringList{QStringLiteral("声音控制器不正确，程序可能无法正常运行 !\n"
                                            "文件：missing.wav\n原因：文件不存在")});
    }

    void aSoundCutOffByTheSoundServerIsReportedAndLogged_data()
    {
        QTest::addColumn<bool>("nextPlaysWithinTheSecond");
        QTest::newRow("seen by the clock's tick") << false;
        QTest::newRow("seen at the next instruction") << true;
    }

    void aSoundCutOffByTheSoundServerIsReportedAndLogged()
    {
        QFETCH(bool, nextPlaysWithinTheSecond);
        f->db.addSound(QStringLiteral("语文"), QStringLiteral("a.wav"), QStringLiteral("A"),
                       QStringLiteral("08:00:00"));
        f->db.addSound(QStringLiteral("语文"), QStringLiteral("b.wav"), QStringLiteral("B"),
                       QStringLiteral("08:00:01"));
        TFrm_Subject *run = startRun(QStringLiteral("语文"));
        FakeMediaPlayer *device = f->players.last();
        f->clock.set(QDateTime(QDate(2026, 6, 7), QTime(8, 0, 0, 2)));
        run->Timer1->timeout();
        // The re-evaluation that arms B.
        f->clock.advance(1);
        run->Timer1->timeout();
        device->breakOff();
        f->clock.set(QDateTime(QDate(2026, 6, 7), QTime(8, 0, 0, 500)));
        if (!nextPlaysWithinTheSecond)
            run->Timer2Timer();
        f->clock.set(QDateTime(QDate(2026, 6, 7), QTime(8, 0, 1, 2)));
        run->Timer1->timeout();
        QCOMPARE(f->boxes.notices.size(), 1);
        QVERIFY2(f->boxes.notices[0].startsWith(QStringLiteral(
                     "声音控制器不正确，程序可能无法正常运行 !\n文件：a.wav\n原因：声音输出")),
                 qPrintable(f->boxes.notices[0]));
        QTest::mouseClick(run->Fbtn_quit, Qt::LeftButton);
        // Gone, the window has its log written to the end.
        f->settle();

        QFile log(f->db.dir() + QStringLiteral("/data/run-log/2026-06-07.log"));
        QVERIFY(log.open(QIODevice::ReadOnly | QIODevice::Text));
        QStringList written;
        while (!log.atEnd()) {
            const QStringList fields = QString::fromUtf8(log.readLine()).split(QLatin1Char('\t'));
            written << fields.mid(1, 2).join(QLatin1Char(' '));
        }
        QVERIFY2(written.contains("sound output lost The sound server stopped playing \"" +
                                  f->programFolder.path() + "/sound/a.wav\"\n"),
                 qPrintable(written.join(QLatin1Char('|'))));
        QCOMPARE(written.filter(QStringLiteral("failed 08:00:00")).size(), 1);
        QCOMPARE(written.filter(QStringLiteral("played 08:00:01")).size(), 1);
    }

    void aRunSaysWhetherTheClockIsKeptRight_data()
    {
        QTest::addColumn<int>("sync");
        QTest::addColumn<QString>("logged");
        QTest::addColumn<int>("notices");
        QTest::newRow("synchronised")
            << int(ClockHealth::Sync::Synchronised) << "clock\tsynchronised" << 0;
        QTest::newRow("not synchronised")
            << int(ClockHealth::Sync::NotSynchronised)
            << "clock\tnot synchronised (automatic synchronisation is on)" << 1;
        QTest::newRow("unknown") << int(ClockHealth::Sync::Unknown) << "clock\tunknown" << 0;
    }

    void aRunSaysWhetherTheClockIsKeptRight()
    {
        QFETCH(int, sync);
        QFETCH(QString, logged);
        QFETCH(int, notices);
        f->clockHealth.reading.sync = ClockHealth::Sync(sync);
        f->db.addSound(QStringLiteral("语文"), QStringLiteral("a.wav"), QStringLiteral("A"),
                       QStringLiteral("08:00:00"));
        startRun(QStringLiteral("语文"));
        QCOMPARE(f->boxes.notices.size(), notices);
        if (notices)
            QVERIFY(f->boxes.notices[0].startsWith(QStringLiteral("计算机时钟未与时间服务器同步")));
        QVERIFY(f->boxes.shown.isEmpty());
        // Written from the log's own thread, a moment later.
        const auto secondLine = [this] {
            QFile log(f->db.dir() + QStringLiteral("/data/run-log/2026-06-07.log"));
            log.open(QIODevice::ReadOnly | QIODevice::Text);
            return QString::fromUtf8(log.readAll()).section(QLatin1Char('\n'), 1, 1);
        };
        QTRY_COMPARE(secondLine().section(QLatin1Char('\t'), 1), logged);
    }

    void aRunKeepsALogBesideTheDatabase_data()
    {
        QTest::addColumn<bool>("folderBlocked");
        QTest::addColumn<QStringList>("events");
        QTest::newRow("writable") << false
                                  << QStringList{"run started", "clock", "clock step", "played",
                                                 "run ended"};
        QTest::newRow("a file where its folder belongs") << true << QStringList{};
    }

    void aRunKeepsALogBesideTheDatabase()
    {
        QFETCH(bool, folderBlocked);
        QFETCH(QStringList, events);
        const QString folder = f->db.dir() + QStringLiteral("/data/run-log");
        if (folderBlocked)
            QVERIFY(QFile(folder).open(QIODevice::WriteOnly));
        f->db.addSound(QStringLiteral("语文"), QStringLiteral("a.wav"), QStringLiteral("A"),
                       QStringLiteral("08:00:00"));
        f->db.addSound(QStringLiteral("语文"), QStringLiteral("b.wav"), QStringLiteral("B"),
                       QStringLiteral("08:05:00"));
        TFrm_Subject *run = startRun(QStringLiteral("语文"));
        f->players.last()->lengths.insert(f->programFolder.path() + QStringLiteral("/sound/a.wav"),
                                          1000);

        // The clock is set forward a minute before A, which then plays.
        f->clock.set(QDateTime(QDate(2026, 6, 7), QTime(7, 59)));
        run->Timer2Timer();
        f->clock.set(QDateTime(QDate(2026, 6, 7), QTime(8, 0, 0, 2)));
        run->Timer1->timeout();
        run->Timer1->timeout();
        run->Timer3->timeout();
        // Said once, below whatever the run shows, as soon as the log's
        // writer has found out.
        const auto memo = [run] {
            return run->Memo_content->toPlainText().split(QLatin1Char('\n'));
        };
        QTRY_COMPARE(memo().size(), folderBlocked ? 2 : 1);
        QCOMPARE(memo().first(), QStringLiteral("播放说明：B"));
        QVERIFY(memo().last().startsWith(folderBlocked ? "运行记录无法写入" : "播放说明"));
        QTest::mouseClick(run->Fbtn_quit, Qt::LeftButton);

        const auto written = [&folder] {
            QFile log(folder + QStringLiteral("/2026-06-07.log"));
            QStringList events;
            if (log.open(QIODevice::ReadOnly | QIODevice::Text)) {
                while (!log.atEnd())
                    events << QString::fromUtf8(log.readLine()).section(QLatin1Char('\t'), 1, 1);
            }
            return events;
        };
        QTRY_COMPARE(written(), events);
    }
};

QTEST_MAIN(TestRunWindow)
#include "tst_runwindow.moc"
