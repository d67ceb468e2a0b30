#include "support/ShellFixture.h"

#include "controls/TFlatComboBox.h"
#include "platform/Timer.h"
#include "ui/main/TFrm_main.h"

#include <QApplication>
#include <QDateEdit>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimeEdit>

class TestMainWindow : public QObject
{
    Q_OBJECT

    std::unique_ptr<ShellFixture> f;

    TFrm_main *start()
    {
        TFrm_main *main = f->start();
        main->show();
        return main;
    }

private slots:
    void init()
    {
        f = std::make_unique<ShellFixture>(); // title "Tessivox" in row id 1
        f->clock.set(QDateTime(QDate(2026, 6, 7), QTime(7, 50, 3)));
    }

    void cleanup() { f.reset(); }

    void layout()
    {
        TFrm_main *main = start();
        QCOMPARE(main->size(), QSize(405, 200));
        for (QPushButton *button :
             {main->FBtn_ok, main->FlatButton2, main->FBtn_sa, main->FBtn_quit})
            QCOMPARE(button->y(), 170);
        QCOMPARE(main->DateTimePicker1->geometry().top(), 224);
        QCOMPARE(main->DateTimePicker1->height(), 25);
        QCOMPARE(main->Lbl_title->width(), 353);
        QCOMPARE(main->Label2->width(), 201);
        QCOMPARE(main->ComboBox1->Style(), TFlatComboBox::csDropDownList);
        QCOMPARE(main->Timer1->interval(), 1000);
        QVERIFY(main->DateTimePicker1->isHidden());
        QVERIFY(main->FlatButton1->y() >= 200);
    }

    void loadShowsTheFirstTitleRowAndEverySubject()
    {
        f->db.exec(QStringLiteral("delete from var"));
        f->db.addTitle(7, QStringLiteral("第七行"));
        f->db.addTitle(3, QStringLiteral("第一中学 \"期末\" 考试"));
        f->db.addSubject(QStringLiteral("数学"), QStringLiteral("2026-06-07 15:00:00"),
                         QStringLiteral("2026-06-07 17:00:00"));
        f->db.addSubject(QStringLiteral(" 语文 "), QStringLiteral("2026-06-07 09:00:00"),
                         QStringLiteral("2026-06-07 11:30:00"));
        TFrm_main *main = start();
        QCOMPARE(main->Lbl_title->text(), QStringLiteral("第一中学 \"期末\" 考试"));
        QCOMPARE(main->ComboBox1->count(), 2);
        QCOMPARE(main->ComboBox1->itemText(0), QStringLiteral("数学"));
        QCOMPARE(main->ComboBox1->itemText(1), QStringLiteral(" 语文 "));
        QCOMPARE(main->ComboBox1->currentIndex(), -1);
        QCOMPARE(main->Label2->text(), QStringLiteral("2026/6/7 07:50:03"));
    }

    void emptyTablesGiveAnEmptyTitleAndList()
    {
        f->db.exec(QStringLiteral("delete from var"));
        TFrm_main *main = start();
        QVERIFY(main->Lbl_title->text().isEmpty());
        QCOMPARE(main->ComboBox1->count(), 0);
        QVERIFY(f->boxes.shown.isEmpty());
    }

    void onlyAReturnFromTheProgramReloads_data()
    {
        QTest::addColumn<QString>("away");
        QTest::addColumn<bool>("reloads");
        QTest::newRow("a box of the program") << QStringLiteral("box") << true;
        QTest::newRow("another application") << QStringLiteral("elsewhere") << false;
        QTest::newRow("locked, input through no window") << QStringLiteral("locked") << true;
    }

    void onlyAReturnFromTheProgramReloads()
    {
        QFETCH(QString, away);
        QFETCH(bool, reloads);
        f->db.addSubject(QStringLiteral("数学"), QStringLiteral("2026-06-07 15:00:00"),
                         QStringLiteral("2026-06-07 17:00:00"));
        TFrm_main *main = start();
        QApplication::setActiveWindow(main);
        main->ComboBox1->setCurrentIndex(0);
        f->db.exec(QStringLiteral("update var set systitle = '新标题' where id = 1"));
        f->db.exec(QStringLiteral("delete from test"));
        f->db.addSubject(QStringLiteral("英语"), QStringLiteral("2026-06-08 09:00:00"),
                         QStringLiteral("2026-06-08 11:00:00"));

        QWidget box;
        if (away == QLatin1String("box")) {
            box.show();
            QApplication::setActiveWindow(&box);
        } else {
            main->setEnabled(away != QLatin1String("locked"));
            QApplication::setActiveWindow(nullptr);
            main->setEnabled(true);
        }
        QApplication::setActiveWindow(main);

        QCOMPARE(main->Lbl_title->text(), reloads ? QStringLiteral("新标题") : "Tessivox");
        QCOMPARE(main->ComboBox1->count(), 1);
        QCOMPARE(main->ComboBox1->itemText(0), reloads ? QStringLiteral("英语") : "数学");
        QCOMPARE(main->ComboBox1->currentIndex(), reloads ? -1 : 0);
    }

    void aWindowWhoseLoadFailedFillsOnceTheDatabaseIsReadable_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::newRow("locked by another program") << QStringLiteral("locked");
        QTest::newRow("file missing") << QStringLiteral("missing");
    }

    void aWindowWhoseLoadFailedFillsOnceTheDatabaseIsReadable()
    {
        QFETCH(QString, fault);
        f->db.addSubject(QStringLiteral("数学"), QStringLiteral("2026-06-07 15:00:00"),
                         QStringLiteral("2026-06-07 17:00:00"));
        const QString away = f->db.path() + QStringLiteral(".away");
        if (fault == QLatin1String("locked")) {
            f->db.exec(QStringLiteral("begin exclusive"));
        } else {
            f->db.close();
            QVERIFY(QFile::rename(f->db.path(), away));
        }
        TFrm_main *main = start();
        QCOMPARE(f->boxes.shown.size(), 1);
        QCOMPARE(main->ComboBox1->count(), 0);
        // Still unreadable: the window says nothing more.
        for (int second = 0; second < 5; ++second)
            main->Timer1Timer();
        QCOMPARE(f->boxes.shown.size(), 1);

        if (fault == QLatin1String("locked"))
            f->db.exec(QStringLiteral("rollback"));
        else
            QVERIFY(QFile::rename(away, f->db.path()));
        for (int second = 0; second < 5; ++second)
            main->Timer1Timer();
        QCOMPARE(main->ComboBox1->count(), 1);
        QCOMPARE(main->Lbl_title->text(), QStringLiteral("Tessivox"));
        QCOMPARE(f->boxes.shown.size(), 1);
    }

    void theClockShowsDateTimeText()
    {
        TFrm_main *main = start();
        f->clock.set(QDateTime(QDate(2026, 6, 8), QTime(0, 0)));
        main->Timer1Timer();
        QCOMPARE(main->Label2->text(), QStringLiteral("2026/6/8"));
        f->clock.set(QDateTime(QDate(2026, 6, 8), QTime(13, 4, 5)));
        main->Timer1Timer();
        QCOMPARE(main->Label2->text(), QStringLiteral("2026/6/8 13:04:05"));
    }

    void theClockRowTogglesAndStartsFromNow()
    {
        TFrm_main *main = start();
        QTest::mouseClick(main->FlatButton2, Qt::LeftButton);
        QCOMPARE(main->height(), 260);
        QVERIFY(main->DateTimePicker1->isVisible());
        QVERIFY(main->FlatButton1->isVisible());
        QCOMPARE(main->DateTimePicker1->date(), QDate(2026, 6, 7));
        QCOMPARE(main->DateTimePicker2->time(), QTime(7, 50, 3));

        main->DateTimePicker1->setDate(QDate(2030, 1, 1));
        QTest::mouseClick(main->FlatButton2, Qt::LeftButton);
        QCOMPARE(main->height(), 200);
        QVERIFY(main->DateTimePicker1->isHidden());

        f->clock.set(QDateTime(QDate(2026, 6, 9), QTime(10, 0, 0)));
        QTest::mouseClick(main->FlatButton2, Qt::LeftButton);
        QCOMPARE(main->DateTimePicker1->date(), QDate(2026, 6, 9));
        QCOMPARE(main->DateTimePicker2->time(), QTime(10, 0, 0));
        QCOMPARE(main->FlatButton2->text(), QStringLiteral("设置时间"));
    }

    void settingTheClockTellsTheTruth_data()
    {
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QString>("reason");
        QTest::addColumn<bool>("answerLater");
        QTest::addColumn<QString>("message");
        QTest::newRow("set") << true << QString() << false << QStringLiteral("修改成功！");
        QTest::newRow("refused") << false << QStringLiteral("自动时间同步已开启") << false
                                 << QStringLiteral("修改失败\n自动时间同步已开启");
        QTest::newRow("answered later")
            << true << QString() << true << QStringLiteral("修改成功！");
    }

    void settingTheClockTellsTheTruth()
    {
        QFETCH(bool, accepted);
        QFETCH(QString, reason);
        QFETCH(bool, answerLater);
        QFETCH(QString, message);
        f->clockSetter.outcome = {accepted, reason};
        f->clockSetter.answerLater = answerLater;
        TFrm_main *main = start();
        for (int round = 0; round < 2; ++round) {
            QTest::mouseClick(main->FlatButton2, Qt::LeftButton);
            main->DateTimePicker1->setDate(QDate(2026, 9, 1));
            main->DateTimePicker2->setTime(QTime(8, 30, 15));
            const qsizetype boxes = f->boxes.shown.size();
            QTest::mouseClick(main->FlatButton1, Qt::LeftButton);
            QCOMPARE(f->clockSetter.requests.last(),
                     QDateTime(QDate(2026, 9, 1), QTime(8, 30, 15)));
            if (answerLater) {
                // Only the button waits; nothing is told before the answer.
                QVERIFY(!main->FlatButton1->isEnabled());
                QVERIFY(main->FlatButton1->isVisible());
                QVERIFY(main->FBtn_ok->isEnabled());
                QCOMPARE(f->boxes.shown.size(), boxes);
                f->clockSetter.answer();
            }
            QCOMPARE(f->boxes.shown.size(), boxes + 1);
            QCOMPARE(f->boxes.shown.last().text, message);
            QCOMPARE(f->boxes.shown.last().caption, QStringLiteral("Tessivox"));
            QVERIFY(main->DateTimePicker1->isHidden());
            QVERIFY(main->FlatButton1->isHidden());
            QVERIFY(main->FlatButton1->isEnabled());
            QCOMPARE(main->height(), 200);
        }
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
