#include "support/OpenEditor.h"
#include "support/ShellFixture.h"

#include "ui/admin/TFrm_config.h"
#include "ui/admin/TFrm_sa.h"
#include "ui/board/AnnounceForm.h"
#include "ui/main/TFrm_main.h"

#include <QDateEdit>
#include <QPushButton>
#include <QTest>
#include <QTimeEdit>
#include <functional>

// Dates and times typed into the program's fields as a person types them:
// over the whole text selected, separators included.
namespace {

const QString Subject = QStringLiteral("语文");

using Field = std::function<QDateTimeEdit *(ShellFixture &)>;

QDateTimeEdit *clockRow(ShellFixture &f, bool date)
{
    TFrm_main *main = f.start();
    main->show();
    QTest::mouseClick(main->FlatButton2, Qt::LeftButton);
    return date ? static_cast<QDateTimeEdit *>(main->DateTimePicker1) : main->DateTimePicker2;
}

} // namespace

Q_DECLARE_METATYPE(Field)

class TestTyping : public QObject
{
    Q_OBJECT

    std::unique_ptr<ShellFixture> f;
    std::unique_ptr<AnnounceForm> board;

private slots:
    void init()
    {
        f = std::make_unique<ShellFixture>();
        f->db.addSubject(Subject, QStringLiteral("2026-06-07 09:00:00"),
                         QStringLiteral("2026-06-07 11:00:00"));
    }

    void cleanup()
    {
        board.reset();
        f.reset();
        ShellFixture::settle();
    }

    void whatIsTypedIsWhatTheFieldHolds_data()
    {
        QTest::addColumn<Field>("field");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QDateTime>("held");
        const QDate today(2026, 6, 7);
        const auto time = [&](int h, int m, int s) { return QDateTime(today, QTime(h, m, s)); };
        const Field mainDate = [](ShellFixture &f) { return clockRow(f, true); };
        const Field mainTime = [](ShellFixture &f) { return clockRow(f, false); };
        const Field editor = [](ShellFixture &f) {
            TFrm_config *window = openEditor(f.shell, Subject);
            return window->DateTimePicker1;
        };
        const Field examStart = [](ShellFixture &f) {
            return chooseSubject(f.shell, Subject)->DateTimePickerStarttime;
        };
        const Field newSubjectDate = [](ShellFixture &f) {
            f.start()->show();
            TFrm_sa *console = f.openConsole();
            ShellFixture::chooseTab(console, 3);
            return console->DateTimePicker1;
        };
        const Field consoleClock = [](ShellFixture &f) {
            f.start()->show();
            return f.openConsole()->DateTimePicker4;
        };
        QTest::newRow("editor: play time") << editor << "08:30:00" << time(8, 30, 0);
        QTest::newRow("editor: hour of one digit") << editor << "9:05:00" << time(9, 5, 0);
        QTest::newRow("main window: clock row time") << mainTime << "09:05:00" << time(9, 5, 0);
        QTest::newRow("main window: clock row date")
            << mainDate << "2027/12/8" << QDateTime(QDate(2027, 12, 8), QTime(0, 0));
        QTest::newRow("console: clock page time") << consoleClock << "23:59:58" << time(23, 59, 58);
        QTest::newRow("console: exam start") << examStart << "08:00:00" << time(8, 0, 0);
        QTest::newRow("console: new subject's date")
            << newSubjectDate << "2027/1/31" << QDateTime(QDate(2027, 1, 31), QTime(0, 0));
    }

    void whatIsTypedIsWhatTheFieldHolds()
    {
        QFETCH(Field, field);
        QFETCH(QString, typed);
        QFETCH(QDateTime, held);
        QDateTimeEdit *edit = field(*f);
        QVERIFY(edit && edit->isEnabled());
        edit->setFocus();
        edit->selectAll();
        QTest::keyClicks(edit, typed);
        if (edit->displayedSections() & QDateTimeEdit::TimeSections_Mask)
            QCOMPARE(edit->time(), held.time());
        if (edit->displayedSections() & QDateTimeEdit::DateSections_Mask)
            QCOMPARE(edit->date(), held.date());
    }

    void theBoardsSecondTakesWhatIsTyped()
    {
        board = std::make_unique<AnnounceForm>(QStringLiteral("postgresql:///none"));
        board->show();
        board->second->setFocus();
        board->second->selectAll();
        QTest::keyClicks(board->second, QStringLiteral("08:30:00"));
        QCOMPARE(board->second->time(), QTime(8, 30, 0));
        // Edited, it stays as typed, however close it comes.
        board->keepAhead();
        QCOMPARE(board->second->time(), QTime(8, 30, 0));
    }

    // Pressed some seconds after the row opened, "设置" sets the clock to the
    // moment it is pressed, unless the person typed another.
    void theClockRowKeepsUpWithTheClockUntilEdited()
    {
        QDateTimeEdit *time = clockRow(*f, false);
        TFrm_main *main = f->shell.Frm_main;
        f->clock.advance(7000);
        main->Timer1Timer();
        QTest::mouseClick(main->FlatButton1, Qt::LeftButton);
        QCOMPARE(f->clockSetter.requests.size(), 1);
        QCOMPARE(f->clockSetter.requests[0],
                 f->clock.now().addMSecs(-f->clock.now().time().msec()));

        QTest::mouseClick(main->FlatButton2, Qt::LeftButton);
        time->setFocus();
        time->selectAll();
        QTest::keyClicks(time, QStringLiteral("10:00:00"));
        main->FBtn_ok->setFocus();
        f->clock.advance(5000);
        main->Timer1Timer();
        QCOMPARE(time->time(), QTime(10, 0, 0));
    }
};

QTEST_MAIN(TestTyping)
#include "tst_typing.moc"
