#include "support/Engines.h"
#include "support/ShellFixture.h"

#include "controls/xpPages.h"
#include "data/Query.h"
#include "data/Session.h"
#include "platform/Timer.h"
#include "ui/admin/TFrm_sa.h"
#include "ui/main/TFrm_main.h"

#include <QDateEdit>
#include <QFontDatabase>
#include <QFontInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>
#include <QTimeEdit>
#include <QTreeWidget>
#include <functional>
#include <optional>

#ifdef Q_OS_LINUX
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>
#endif

namespace {

enum Page
{
    ClockPage,
    TitlePage,
    SubjectPage,
    NewSubjectPage
};

const QString Chinese = QStringLiteral("语文");
const QString Maths = QStringLiteral("数学");

// Makes a file refuse writing for this process. Permission bits do not stop
// root, so for root the file is made immutable instead.
class ReadOnlyFile final
{
public:
    explicit ReadOnlyFile(QString path)
        : m_path(std::move(path)), m_permissions(QFile::permissions(m_path))
    {
        QFile::setPermissions(m_path, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
        if (!refusesWriting())
            m_immutable = setImmutable(true);
    }
    ~ReadOnlyFile()
    {
        if (m_immutable)
            setImmutable(false);
        QFile::setPermissions(m_path, m_permissions);
    }
    Q_DISABLE_COPY_MOVE(ReadOnlyFile)

    bool refusesWriting() const { return !QFile(m_path).open(QIODevice::ReadWrite); }

private:
    bool setImmutable([[maybe_unused]] bool on) const
    {
#ifdef Q_OS_LINUX
        const int fd = ::open(QFile::encodeName(m_path).constData(), O_RDONLY);
        int flags = 0;
        const bool done = fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 &&
                          (flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL,
                           ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0);
        if (fd >= 0)
            ::close(fd);
        return done;
#else
        return false;
#endif
    }

    QString m_path;
    QFile::Permissions m_permissions;
    bool m_immutable = false;
};

} // namespace

class TestConsole : public QObject
{
    Q_OBJECT

    std::unique_ptr<ShellFixture> f;

    TFrm_sa *open()
    {
        f->start()->show();
        return f->openConsole();
    }

    // Shows the subject page and clicks on a subject, as the user does.
    void choose(TFrm_sa *console, const QString &subject)
    {
        ShellFixture::chooseTab(console, SubjectPage);
        QListWidget *list = console->Listbox_subject;
        const QList<QListWidgetItem *> items = list->findItems(subject, Qt::MatchExactly);
        QVERIFY(!items.isEmpty());
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualItemRect(items[0]).center());
    }

    QString lastMessage() const
    {
        return f->boxes.shown.isEmpty() ? QString() : f->boxes.shown.last().text;
    }

    QList<QStringList> everything()
    {
        return f->db.rows(QStringLiteral("select * from var")) +
               f->db.rows(QStringLiteral("select * from test")) +
               f->db.rows(QStringLiteral("select * from sound"));
    }

private slots:
    void init()
    {
        f = std::make_unique<ShellFixture>();
        f->clock.set(QDateTime(QDate(2026, 6, 7), QTime(7, 50, 3, 250)));
        f->db.addSubject(Chinese, QStringLiteral("2026-06-07 09:00:00"),
                         QStringLiteral("2026-06-07 11:30:00"));
        f->db.addSubject(Maths, QStringLiteral("2026-06-08 15:00:00"),
                         QStringLiteral("2026-06-08 17:00:00"));
        f->db.addSound(Chinese, QStringLiteral("end.wav"), QStringLiteral("结束"),
                       QStringLiteral("11:30:00"));
        f->db.addSound(Chinese, QStringLiteral("start.wav"), QStringLiteral("开始"),
                       QStringLiteral("09:00:00"));
        f->db.addSound(Maths, QStringLiteral("m.wav"), QString(), QStringLiteral("15:00:00"));
    }

    void cleanup() { f.reset(); }

    // A long explanation gives way: the play time stays in view.
    void thePlayTimeColumnStaysInView()
    {
        f->db.addSound(
            Maths, QStringLiteral("long.wav"),
            QStringLiteral("考生请注意：请将手机关机，放在指定位置，并将书包放到考场前面。"),
            QStringLiteral("14:50:00"));
        TFrm_sa *console = open();
        choose(console, Maths);
        QTreeWidget *list = console->ListView1;
        QCOMPARE(list->topLevelItemCount(), 2);
        QVERIFY2(list->header()->sectionViewportPosition(2) + list->header()->sectionSize(2) <=
                     list->viewport()->width(),
                 qPrintable(QString::number(list->header()->sectionViewportPosition(2))));
    }

    void opensOnTheClockPageWithoutATabChange()
    {
        TFrm_sa *console = open();
        QCOMPARE(console->PageControl1->currentWidget(), console->TabSheet1);
        QCOMPARE(console->DateTimePicker3->date(), QDate(2026, 6, 7));
        QCOMPARE(console->DateTimePicker4->time().toString(), QStringLiteral("07:50:03"));
        QCOMPARE(console->Label1->text(), QStringLiteral("2026/6/7 07:50:03"));
        QCOMPARE(console->Listbox_subject->count(), 0);
        QVERIFY(!console->FlatButton1->isEnabled());

        f->clock.set(QDateTime(QDate(2026, 6, 8), QTime(0, 0)));
        emit console->Timer1->timeout();
        QCOMPARE(console->Label1->text(), QStringLiteral("2026/6/8"));
    }

    void settingTheClockTellsTheTruth_data()
    {
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QDate>("date");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QDateTime>("requested");
        // Untouched pickers set the clock back to when the console opened.
        QTest::newRow("set, pickers untouched") << true << QDate() << QStringLiteral("修改成功！")
                                                << QDateTime(QDate(2026, 6, 7), QTime(7, 50, 3));
        QTest::newRow("refused") << false << QDate(2026, 9, 1) << QStringLiteral("修改失败")
                                 << QDateTime(QDate(2026, 9, 1), QTime(7, 50, 3));
    }

    void settingTheClockTellsTheTruth()
    {
        QFETCH(bool, accepted);
        QFETCH(QDate, date);
        QFETCH(QString, message);
        QFETCH(QDateTime, requested);
        f->clockSetter.outcome = {accepted, {}};
        TFrm_sa *console = open();
        f->clock.advance(60000);
        if (date.isValid())
            console->DateTimePicker3->setDate(date);
        QTest::mouseClick(console->FBtn_ok1, Qt::LeftButton);
        QCOMPARE(f->clockSetter.requests, QList<QDateTime>{requested});
        QCOMPARE(lastMessage(), message);
        QCOMPARE(f->boxes.shown.last().caption, QStringLiteral("Tessivox"));
    }

    void settingTheClockIsOneRequestUntilTheSystemAnswers()
    {
        f->clockSetter.answerLater = true;
        TFrm_sa *console = open();
        QTest::mouseClick(console->FBtn_ok1, Qt::LeftButton);
        QTest::mouseClick(console->FBtn_ok1, Qt::LeftButton);
        QCOMPARE(f->clockSetter.requests.size(), 1);
        QVERIFY(!console->FBtn_ok1->isEnabled());
        QVERIFY(console->Button2->isEnabled());
        f->clockSetter.answer();
        QCOMPARE(lastMessage(), QStringLiteral("修改成功！"));
        QVERIFY(console->FBtn_ok1->isEnabled());
    }

    void showingTheTitlePageReloadsTheTitle()
    {
        TFrm_sa *console = open();
        ShellFixture::chooseTab(console, TitlePage);
        QCOMPARE(console->Edt_name->text(), QStringLiteral("Tessivox"));
        console->Edt_name->setText(QStringLiteral("unsaved"));
        f->db.exec(QStringLiteral("update var set systitle = '新' where id = 1"));
        ShellFixture::chooseTab(console, ClockPage);
        ShellFixture::chooseTab(console, TitlePage);
        QCOMPARE(console->Edt_name->text(), QStringLiteral("新"));
    }

    void storingTheTitle_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("refill");
        QTest::addColumn<int>("titleRow");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("stored");
        const QString quoted = QStringLiteral("第一中学's \"期末\" 考试");
        QTest::newRow("with quotes")
            << quoted << false << 1 << QStringLiteral("修改成功") << quoted;
        QTest::newRow("refilled: empty")
            << quoted << true << 1 << QStringLiteral("修改成功") << QString();
        QTest::newRow("no row with id 1")
            << quoted << false << 2 << QStringLiteral("修改错误") << QStringLiteral("Tessivox");
    }

    void storingTheTitle()
    {
        QFETCH(QString, typed);
        QFETCH(bool, refill);
        QFETCH(int, titleRow);
        QFETCH(QString, message);
        QFETCH(QString, stored);
        f->db.exec(QStringLiteral("update var set id = ?"), {titleRow});
        TFrm_sa *console = open();
        ShellFixture::chooseTab(console, TitlePage);
        console->Edt_name->setText(typed);
        if (refill)
            QTest::mouseClick(console->Fbtn_repeat2, Qt::LeftButton);
        QTest::mouseClick(console->o, Qt::LeftButton);
        QCOMPARE(lastMessage(), message);
        QCOMPARE(f->db.rows(QStringLiteral("select systitle from var")),
                 QList<QStringList>{{stored}});
    }

    void theSubjectPage()
    {
        TFrm_sa *console = open();
        ShellFixture::chooseTab(console, SubjectPage);
        QListWidget *list = console->Listbox_subject;
        QCOMPARE(list->count(), 2);
        QCOMPARE(list->item(0)->text(), Chinese);
        QVERIFY(console->selectedSubject().isEmpty());
        QVERIFY(!console->DateTimePickerStartdate->isEnabled());
        QVERIFY(!console->Fbtn_enter->isEnabled());
        QVERIFY(console->Button1->isEnabled());
        const QFontInfo face(list->font());
        QCOMPARE(face.pixelSize(), 12);
        // Song where the system has it, otherwise the face of the rest of
        // the program, not some other serif face.
        if (!QFontDatabase::families().contains(QStringLiteral("SimSun")))
            QCOMPARE(face.family(), QFontInfo(console->font()).family());

        choose(console, Chinese);
        QCOMPARE(console->selectedSubject(), Chinese);
        QCOMPARE(console->DateTimePickerStartdate->date(), QDate(2026, 6, 7));
        QCOMPARE(console->DateTimePickerStarttime->time(), QTime(9, 0));
        QCOMPARE(console->DateTimePickerEnddate->date(), QDate(2026, 6, 7));
        QCOMPARE(console->DateTimePickerEndtime->time(), QTime(11, 30));
        QVERIFY(console->FlatButton1->isEnabled());
        QVERIFY(console->Fbtn_enter->isEnabled());
        QTreeWidget *instructions = console->ListView1;
        QCOMPARE(instructions->topLevelItemCount(), 2);
        QCOMPARE(instructions->topLevelItem(0)->text(0), QStringLiteral("start.wav"));
        QCOMPARE(instructions->topLevelItem(0)->text(2), QStringLiteral("09:00:00"));

        // Leaving and coming back reloads the names and drops the choice; the
        // instructions stay until another subject is chosen.
        f->db.addSubject(QStringLiteral("英语"), QStringLiteral("2026-06-09 09:00:00"),
                         QStringLiteral("2026-06-09 11:00:00"));
        ShellFixture::chooseTab(console, NewSubjectPage);
        ShellFixture::chooseTab(console, SubjectPage);
        QCOMPARE(list->count(), 3);
        QVERIFY(console->selectedSubject().isEmpty());
        QVERIFY(!console->FlatButton1->isEnabled());
        QCOMPARE(instructions->topLevelItemCount(), 2);
    }

    void changingTheExamTime_data()
    {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<bool>("removedMeanwhile");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QStringList>("stored");
        const QStringList changed{QStringLiteral("2026-07-01 18:05:09"),
                                  QStringLiteral("2026-06-30 08:00:00")};
        QTest::newRow("zh_CN, end before start")
            << QLocale(QLocale::Chinese, QLocale::China) << false << QStringLiteral("修改成功！")
            << changed;
        QTest::newRow("en_US, 12-hour pickers") << QLocale(QLocale::English, QLocale::UnitedStates)
                                                << false << QStringLiteral("修改成功！") << changed;
        QTest::newRow("subject removed meanwhile")
            << QLocale(QLocale::Chinese, QLocale::China) << true << QStringLiteral("修改失败")
            << QStringList();
    }

    void changingTheExamTime()
    {
        QFETCH(QLocale, locale);
        QFETCH(bool, removedMeanwhile);
        QFETCH(QString, message);
        QFETCH(QStringList, stored);
        f->formats = RegionalFormats(locale);
        TFrm_sa *console = open();
        choose(console, Chinese);
        console->DateTimePickerStartdate->setDate(QDate(2026, 7, 1));
        console->DateTimePickerStarttime->setTime(QTime(18, 5, 9));
        console->DateTimePickerEnddate->setDate(QDate(2026, 6, 30));
        console->DateTimePickerEndtime->setTime(QTime(8, 0));
        if (removedMeanwhile)
            f->db.exec(QStringLiteral("delete from test where subjectname = ?"), {Chinese});
        QTest::mouseClick(console->FlatButton1, Qt::LeftButton);
        QCOMPARE(lastMessage(), message);
        const QList<QStringList> rows = f->db.rows(
            QStringLiteral("select starttime, endtime from test where subjectname = ?"), {Chinese});
        QCOMPARE(rows.value(0), stored);
    }

    void storedTimesAreReadOrSaidUnreadable_data()
    {
        QTest::addColumn<QVariant>("start");
        QTest::addColumn<QDateTime>("shownStart");
        QTest::addColumn<bool>("said");
        QTest::newRow("slash date") << QVariant("2005/5/9 13:44:44")
                                    << QDateTime(QDate(2005, 5, 9), QTime(13, 44, 44)) << false;
        QTest::newRow("single-digit hour")
            << QVariant("2026-06-09 9:05:00") << QDateTime(QDate(2026, 6, 9), QTime(9, 5)) << false;
        QTest::newRow("NULL") << QVariant() << QDateTime() << true;
        QTest::newRow("not a time") << QVariant("明天上午") << QDateTime() << true;
    }

    void storedTimesAreReadOrSaidUnreadable()
    {
        QFETCH(QVariant, start);
        QFETCH(QDateTime, shownStart);
        QFETCH(bool, said);
        const QString odd = QStringLiteral("英语");
        f->db.exec(QStringLiteral("insert into test values (?, ?, '2026-06-09 11:00:00')"),
                   {odd, start});
        TFrm_sa *console = open();
        choose(console, Maths);
        choose(console, odd);
        QCOMPARE(f->boxes.shown.size(), said ? 1 : 0);
        if (shownStart.isValid()) {
            QCOMPARE(console->DateTimePickerStartdate->date(), shownStart.date());
            QCOMPARE(console->DateTimePickerStarttime->time(), shownStart.time());
        } else {
            QVERIFY(console->DateTimePickerStartdate->date() != QDate(2026, 6, 8));
        }
        QCOMPARE(console->DateTimePickerEndtime->time(), QTime(11, 0));

        // Pressed without a new start, nothing the user did not choose is stored.
        QTest::mouseClick(console->FlatButton1, Qt::LeftButton);
        const QList<QStringList> rows =
            f->db.rows(QStringLiteral("select starttime from test where subjectname = ?"), {odd});
        if (said)
            QCOMPARE(rows.value(0).value(0), start.toString());
    }

    void deletingASubject_data()
    {
        QTest::addColumn<MessageBoxes::Answer>("answer");
        QTest::addColumn<bool>("chosen");
        QTest::addColumn<bool>("soundsLocked");
        QTest::addColumn<bool>("deleted");
        QTest::newRow("Cancel") << MessageBoxes::Answer::Cancel << true << false << false;
        QTest::newRow("OK, nothing chosen") << MessageBoxes::Answer::Ok << false << false << false;
        QTest::newRow("OK") << MessageBoxes::Answer::Ok << true << false << true;
        QTest::newRow("OK, instructions cannot go")
            << MessageBoxes::Answer::Ok << true << true << false;
    }

    void deletingASubject()
    {
        QFETCH(MessageBoxes::Answer, answer);
        QFETCH(bool, chosen);
        QFETCH(bool, soundsLocked);
        QFETCH(bool, deleted);
        if (soundsLocked)
            f->db.refuse(QStringLiteral("delete"), QStringLiteral("sound"), QStringLiteral("kept"));
        TFrm_sa *console = open();
        if (chosen)
            choose(console, Chinese);
        else
            ShellFixture::chooseTab(console, SubjectPage);
        const QList<QStringList> before = everything();
        f->boxes.answers = {answer};
        QTest::mouseClick(console->Button1, Qt::LeftButton);

        QCOMPARE(f->boxes.shown.size(), 1);
        QCOMPARE(f->boxes.shown[0].caption, QStringLiteral("是否删除？"));
        QCOMPARE(f->boxes.shown[0].buttons, MessageBoxes::Buttons::OkCancel);
        const auto left = [&](const QString &table) {
            return f->db.rows(
                QStringLiteral("select count(*) from %1 where subjectname = ?").arg(table),
                {Chinese})[0][0];
        };
        QCOMPARE(left(QStringLiteral("test")), deleted ? QStringLiteral("0") : QStringLiteral("1"));
        QCOMPARE(left(QStringLiteral("sound")),
                 deleted ? QStringLiteral("0") : QStringLiteral("2"));
        if (!deleted)
            QCOMPARE(everything(), before);
        QCOMPARE(console->Listbox_subject->count(), deleted ? 1 : 2);
        QCOMPARE(console->ListView1->topLevelItemCount(), deleted || !chosen ? 0 : 2);
    }

    void addingASubject_data()
    {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QList<QStringList>>("added");
        const QLocale zh(QLocale::Chinese, QLocale::China);
        const QString blanks = QStringLiteral("  ");
        const auto row = [](const QString &name) {
            return QList<QStringList>{{name, QStringLiteral("2005-05-09 13:44:44"),
                                       QStringLiteral("2005-05-10 13:44:19")}};
        };
        QTest::newRow("empty") << zh << QString() << QStringLiteral("请填写科目名称")
                               << QList<QStringList>();
        QTest::newRow("existing") << zh << Maths << QStringLiteral("此考试科目名已存在")
                                  << QList<QStringList>();
        QTest::newRow("blanks are a name")
            << zh << blanks << QStringLiteral("添加成功") << row(blanks);
        QTest::newRow("en_US") << QLocale(QLocale::English, QLocale::UnitedStates)
                               << QStringLiteral("英语's") << QStringLiteral("添加成功")
                               << row(QStringLiteral("英语's"));
    }

    void addingASubject()
    {
        QFETCH(QLocale, locale);
        QFETCH(QString, name);
        QFETCH(QString, message);
        QFETCH(QList<QStringList>, added);
        f->formats = RegionalFormats(locale);
        TFrm_sa *console = open();
        ShellFixture::chooseTab(console, NewSubjectPage);
        console->Edt_subjectname->setText(name);
        QTest::mouseClick(console->FBtn_ok, Qt::LeftButton);
        QCOMPARE(f->boxes.texts(), QStringList{message});
        QCOMPARE(f->db.rows(QStringLiteral(
                     "select subjectname, starttime, endtime from test where rowid > 2")),
                 added);

        QTest::mouseClick(console->FlatButton2, Qt::LeftButton);
        QVERIFY(console->Edt_subjectname->text().isEmpty());
        QCOMPARE(console->DateTimePicker1->date(), QDate(2005, 5, 9));
    }

    void everyWriteFailsCleanly_data()
    {
        QTest::addColumn<int>("operation");
        QTest::addColumn<bool>("readOnly");
        QTest::addColumn<QString>("failure");
        QTest::addColumn<QString>("success");
        const QList<std::pair<QString, QString>> messages{
            {QStringLiteral("修改错误"), QStringLiteral("修改成功")},
            {QStringLiteral("修改失败"), QStringLiteral("修改成功！")},
            {QStringLiteral("添加失败"), QStringLiteral("添加成功")},
            // A deletion answers nothing beyond its question.
            {QStringLiteral("是否删除？"), QStringLiteral("是否删除？")}};
        const QStringList names{"title", "exam time", "new subject", "deletion"};
        for (int operation = 0; operation < 4; ++operation)
            for (bool readOnly : {false, true})
                QTest::addRow("%s, %s", qPrintable(names[operation]),
                              readOnly ? "read-only file" : "locked")
                    << operation << readOnly << messages[operation].first
                    << messages[operation].second;
    }

    void everyWriteFailsCleanly()
    {
        SKIP_UNLESS_FILE();
        QFETCH(int, operation);
        QFETCH(bool, readOnly);
        QFETCH(QString, failure);
        QFETCH(QString, success);
        std::optional<ReadOnlyFile> file;
        if (readOnly) {
            file.emplace(f->db.path());
            if (!file->refusesWriting())
                QSKIP("this machine cannot make a file read-only for this process");
        }
        TFrm_sa *console = open();
        // Fails fast instead of waiting for the other writer for seconds.
        f->data.use(TDataModule1::Access::Read, [](Session &session) {
            Query::run(session.db(), {QStringLiteral("PRAGMA busy_timeout = 50"), {}});
        });

        const QList<std::function<void()>> steps{
            [&] {
                ShellFixture::chooseTab(console, TitlePage);
                console->Edt_name->setText(QStringLiteral("新"));
            },
            [&] {
                choose(console, Chinese);
                console->DateTimePickerStartdate->setDate(QDate(2030, 1, 1));
            },
            [&] {
                ShellFixture::chooseTab(console, NewSubjectPage);
                console->Edt_subjectname->setText(QStringLiteral("英语"));
            },
            [&] { choose(console, Chinese); }};
        const QList<QPushButton *> buttons{console->o, console->FlatButton1, console->FBtn_ok,
                                           console->Button1};
        steps[operation]();
        const QList<QStringList> before = everything();
        if (!readOnly)
            f->db.exec(QStringLiteral("BEGIN IMMEDIATE"));
        f->boxes.shown.clear();
        QTest::mouseClick(buttons[operation], Qt::LeftButton);
        if (!readOnly)
            f->db.exec(QStringLiteral("ROLLBACK"));

        // The refusal's reason follows the fixed message; a deletion stays silent.
        const QStringList texts = f->boxes.texts();
        QCOMPARE(texts.size(), 1);
        QCOMPARE(texts[0].section(QLatin1Char('\n'), 0, 0), failure);
        QCOMPARE(texts[0].contains(QLatin1Char('\n')), operation != 3);
        QCOMPARE(everything(), before);
        QVERIFY(console->isEnabled());
        if (readOnly)
            return;
        // The lock gone, the same press goes through.
        f->boxes.shown.clear();
        QTest::mouseClick(buttons[operation], Qt::LeftButton);
        QCOMPARE(f->boxes.texts(), QStringList{success});
        QVERIFY(everything() != before);
    }
};

TESSIVOX_TEST_EACH_ENGINE(TestConsole, QApplication)
#include "tst_console.moc"
