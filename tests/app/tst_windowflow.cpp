#include "support/ShellFixture.h"

#include "ui/admin/TFrm_config.h"
#include "ui/admin/TFrm_sa.h"
#include "ui/admin/TFrm_validate.h"
#include "ui/main/TFrm_main.h"
#include "ui/run/TFrm_Subject.h"

#include "platform/Timer.h"

#include "controls/TFlatComboBox.h"
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTreeWidget>

namespace {

// Every live window of the program that would take input now.
QList<QWidget *> inputWindows(const Shell &shell)
{
    QList<QWidget *> result;
    const QList<QWidget *> all{shell.Frm_main, shell.Frm_validate, shell.Frm_sa, shell.Frm_config,
                               shell.Frm_Subject};
    for (QWidget *window : all)
        if (window && window->isVisible() && window->isEnabled())
            result << window;
    return result;
}

} // namespace

class TestWindowFlow : public QObject
{
    Q_OBJECT

    std::unique_ptr<ShellFixture> f;
    TFrm_main *main = nullptr;

    void chooseSubject(const QString &name)
    {
        main->ComboBox1->setCurrentIndex(main->ComboBox1->findText(name));
    }

    TFrm_validate *openGate() { return f->openGate(); }

    TFrm_sa *openConsole() { return f->openConsole(); }

    TFrm_config *openEditor(const QString &subject)
    {
        TFrm_sa *console = openConsole();
        ShellFixture::chooseTab(console, 2);
        QListWidget *list = console->Listbox_subject;
        list->setCurrentItem(list->findItems(subject, Qt::MatchExactly)[0]);
        QTest::mouseClick(console->Fbtn_enter, Qt::LeftButton);
        return f->shell.Frm_config;
    }

    void expectOnlyInput(QWidget *window)
    {
        QCOMPARE(inputWindows(f->shell), QList<QWidget *>{window});
    }

private slots:
    void init()
    {
        f = std::make_unique<ShellFixture>();
        f->db.addSubject(QStringLiteral("语文"), QDateTime(QDate(2026, 6, 7), QTime(9, 0)),
                         QDateTime(QDate(2026, 6, 7), QTime(11, 30)));
        f->db.addSubject(QStringLiteral("数学"), QDateTime(QDate(2026, 6, 7), QTime(15, 0)),
                         QDateTime(QDate(2026, 6, 7), QTime(17, 0)));
        f->db.addSound(QStringLiteral("语文"), QStringLiteral("a.wav"), QStringLiteral("开始"),
                       QTime(9, 0));
        main = f->start();
        main->show();
    }

    void cleanup()
    {
        f.reset();
        main = nullptr;
    }

    void startUpLoadsTitleAndSubjects()
    {
        QCOMPARE(main->windowTitle(), QStringLiteral("Tessivox"));
        QCOMPARE(main->Lbl_title->text(), QStringLiteral("Tessivox"));
        QCOMPARE(main->ComboBox1->count(), 2);
        QCOMPARE(main->ComboBox1->currentIndex(), -1);
        QCOMPARE(main->size(), QSize(405, 200));
        expectOnlyInput(main);
    }

    void okWithoutSubjectOnlyWarns()
    {
        QTest::mouseClick(main->FBtn_ok, Qt::LeftButton);
        QCOMPARE(f->boxes.texts(), QStringList{QStringLiteral("请选择考试科目!")});
        QCOMPARE(f->boxes.shown[0].caption, QStringLiteral("Tessivox"));
        QVERIFY(!f->shell.Frm_Subject);
        expectOnlyInput(main);
    }

    void okWithSubjectStartsRunAndHidesMain()
    {
        chooseSubject(QStringLiteral("语文"));
        QTest::mouseClick(main->FBtn_ok, Qt::LeftButton);
        TFrm_Subject *run = f->shell.Frm_Subject;
        QVERIFY(run);
        QCOMPARE(run->Lbl_Name->text(), QStringLiteral("语文"));
        QVERIFY(!main->isVisible());
        QVERIFY(!main->isEnabled());
        expectOnlyInput(run);
    }

    void stopRunAsksFirst()
    {
        chooseSubject(QStringLiteral("语文"));
        QTest::mouseClick(main->FBtn_ok, Qt::LeftButton);
        QPointer<TFrm_Subject> run = f->shell.Frm_Subject;

        f->boxes.answers = {MessageBoxes::Answer::Cancel};
        QTest::mouseClick(run->Fbtn_quit, Qt::LeftButton);
        QCOMPARE(f->boxes.shown.last().text, QStringLiteral("确定停止运行吗？"));
        QCOMPARE(f->boxes.shown.last().caption, QStringLiteral("提示"));
        QCOMPARE(f->boxes.shown.last().buttons, MessageBoxes::Buttons::OkCancel);
        ShellFixture::settle();
        QVERIFY(run);
        QCOMPARE(run->Timer2->interval(), 1000);
        // Hidden behind the run, the main window's clock is the run's: one
        // tick a second, not two.
        QCOMPARE(main->Timer1->interval(), 0);
        expectOnlyInput(run);

        QTest::mouseClick(run->Fbtn_quit, Qt::LeftButton);
        QCOMPARE(run->Timer1->interval(), 0);
        QCOMPARE(run->Timer2->interval(), 0);
        ShellFixture::settle();
        QVERIFY(!run);
        expectOnlyInput(main);
        QCOMPARE(main->Timer1->interval(), 1000);
        QCOMPARE(main->Label2->text(), f->formats.dateTime(f->clock.now()));
    }

    void closingRunEndsItWithoutAsking()
    {
        chooseSubject(QStringLiteral("数学"));
        QTest::mouseClick(main->FBtn_ok, Qt::LeftButton);
        QPointer<TFrm_Subject> run = f->shell.Frm_Subject;
        const qsizetype boxesBefore = f->boxes.shown.size();
        run->close();
        ShellFixture::settle();
        QVERIFY(!run);
        QCOMPARE(f->boxes.shown.size(), boxesBefore);
        expectOnlyInput(main);
        // Back on the main window: reloaded, nothing chosen.
        QTRY_VERIFY(main->isActiveWindow());
        QCOMPARE(main->ComboBox1->currentIndex(), -1);
        QCOMPARE(main->ComboBox1->count(), 2);
    }

    void gateRefusesWrongPasswords_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::newRow("empty") << QString();
        QTest::newRow("trailing blank") << QStringLiteral("50716283941 ");
        QTest::newRow("one digit short") << QStringLiteral("5071628394");
    }

    void gateRefusesWrongPasswords()
    {
        QFETCH(QString, typed);
        TFrm_validate *gate = openGate();
        QVERIFY(main->isVisible());
        expectOnlyInput(gate);
        gate->MaskEdit1->setText(typed);
        QTest::mouseClick(gate->Fbtn_ok, Qt::LeftButton);
        QCOMPARE(f->boxes.shown.last().text, QStringLiteral("密码错误"));
        QCOMPARE(f->boxes.shown.last().caption, QStringLiteral("Warning"));
        QCOMPARE(f->boxes.shown.last().icon, MessageBoxes::Icon::None);
        ShellFixture::settle();
        QCOMPARE(f->shell.Frm_validate.data(), gate);
        // Emptied for the next try.
        QVERIFY(gate->MaskEdit1->text().isEmpty());
        QVERIFY(!f->shell.Frm_sa);
        expectOnlyInput(gate);
    }

    void gateGivingUpReturnsToMain_data()
    {
        QTest::addColumn<bool>("byClosing");
        QTest::newRow("放弃") << false;
        QTest::newRow("title bar close") << true;
    }

    void gateGivingUpReturnsToMain()
    {
        QFETCH(bool, byClosing);
        QPointer<TFrm_validate> gate = openGate();
        gate->MaskEdit1->setText(QStringLiteral("123"));
        if (byClosing)
            gate->close();
        else
            QTest::mouseClick(gate->Fbtn_quit, Qt::LeftButton);
        ShellFixture::settle();
        QVERIFY(!gate);
        expectOnlyInput(main);

        // A new gate each time: the box starts empty.
        QVERIFY(openGate()->MaskEdit1->text().isEmpty());
    }

    void correctPasswordOpensConsoleAndKeepsMainLocked()
    {
        QPointer<TFrm_validate> gate = openGate();
        TFrm_sa *console = openConsole();
        QVERIFY(!gate);
        QVERIFY(console);
        QCOMPARE(console->windowTitle(), QStringLiteral("管理员界面"));
        QVERIFY(main->isVisible());
        expectOnlyInput(console);
    }

    void everyConsoleExitUnlocksTheSameMain_data()
    {
        QTest::addColumn<int>("exit");
        QTest::newRow("Button2") << 2;
        QTest::newRow("Button3") << 3;
        QTest::newRow("Button4") << 4;
        QTest::newRow("Button5") << 5;
        QTest::newRow("close") << 0;
    }

    void everyConsoleExitUnlocksTheSameMain()
    {
        QFETCH(int, exit);
        QPointer<TFrm_sa> console = openConsole();
        const QList<QPushButton *> exits{console->Button2, console->Button3, console->Button4,
                                         console->Button5};
        if (exit == 0)
            console->close();
        else
            exits[exit - 2]->click();
        ShellFixture::settle();
        QVERIFY(!console);
        QCOMPARE(f->shell.Frm_main.data(), main);
        expectOnlyInput(main);
    }

    void editorLocksConsoleAndReturnsInputToItOnly_data()
    {
        QTest::addColumn<bool>("byClosing");
        QTest::newRow("返回") << false;
        QTest::newRow("title bar close") << true;
    }

    void editorLocksConsoleAndReturnsInputToItOnly()
    {
        QFETCH(bool, byClosing);
        QPointer<TFrm_config> editor = openEditor(QStringLiteral("语文"));
        TFrm_sa *console = f->shell.Frm_sa;
        QVERIFY(editor);
        QCOMPARE(editor->ListView1->topLevelItemCount(), 1);
        expectOnlyInput(editor);
        if (byClosing)
            editor->close();
        else
            QTest::mouseClick(editor->Fbtn_quit, Qt::LeftButton);
        ShellFixture::settle();
        QVERIFY(!editor);
        expectOnlyInput(console);
    }

    void editorDoneSavesRefreshesAndReports()
    {
        QPointer<TFrm_config> editor = openEditor(QStringLiteral("语文"));
        TFrm_sa *console = f->shell.Frm_sa;
        console->ListView1->clear();
        QTest::mouseClick(editor->FBtn_ok, Qt::LeftButton);
        QCOMPARE(f->boxes.shown.last().text, QStringLiteral("一共修改了1条记录"));
        QCOMPARE(console->ListView1->topLevelItemCount(), 1);
        QCOMPARE(f->db.rows(QStringLiteral("select filename, playtime from sound")),
                 (QList<QStringList>{{QStringLiteral("a.wav"), QStringLiteral("09:00:00")}}));
        ShellFixture::settle();
        QVERIFY(!editor);
        expectOnlyInput(console);
    }

    void aDisabledWindowCannotBeClosed_data()
    {
        QTest::addColumn<bool>("underEditor");
        QTest::newRow("main window under the gate") << false;
        QTest::newRow("console under the editor") << true;
    }

    void aDisabledWindowCannotBeClosed()
    {
        QFETCH(bool, underEditor);
        QSignalSpy terminated(&f->shell, &Shell::terminated);
        QPointer<QWidget> above;
        if (underEditor)
            above = openEditor(QStringLiteral("语文"));
        else
            above = openGate();
        QPointer<QWidget> beneath = underEditor ? static_cast<QWidget *>(f->shell.Frm_sa) : main;

        QVERIFY(!beneath->close());
        ShellFixture::settle();
        QVERIFY(beneath);
        QVERIFY(beneath->isVisible());
        QCOMPARE(terminated.size(), 0);
        expectOnlyInput(above);

        // The window above still hands input back, and then closing works.
        above->close();
        ShellFixture::settle();
        QVERIFY(!above);
        expectOnlyInput(beneath);
        QVERIFY(beneath->close());
    }

    void mainEndsTheProgram_data()
    {
        QTest::addColumn<bool>("byClosing");
        QTest::newRow("退出") << false;
        QTest::newRow("title bar close") << true;
    }

    void mainEndsTheProgram()
    {
        QFETCH(bool, byClosing);
        QSignalSpy terminated(&f->shell, &Shell::terminated);
        if (byClosing)
            main->close();
        else
            QTest::mouseClick(main->FBtn_quit, Qt::LeftButton);
        QCOMPARE(terminated.size(), 1);
        QVERIFY(f->boxes.shown.isEmpty());
    }

    void returningToMainReloadsAndDropsTheSelection()
    {
        chooseSubject(QStringLiteral("语文"));
        f->db.addSubject(QStringLiteral("英语"), QStringLiteral("2026-06-08 09:00:00"),
                         QStringLiteral("2026-06-08 11:00:00"));
        TFrm_validate *gate = openGate();
        QTRY_VERIFY(gate->isActiveWindow());
        QTest::mouseClick(gate->Fbtn_quit, Qt::LeftButton);
        ShellFixture::settle();
        QTRY_VERIFY(main->isActiveWindow());
        QCOMPARE(main->ComboBox1->count(), 3);
        QCOMPARE(main->ComboBox1->currentIndex(), -1);
    }
};

QTEST_MAIN(TestWindowFlow)
#include "tst_windowflow.moc"
