#include "support/Engines.h"
#include "support/OpenEditor.h"
#include "support/ShellFixture.h"
#include "support/TestSounds.h"

#include "ui/admin/TFrm_config.h"
#include "ui/admin/TFrm_sa.h"
#include "ui/common/InstructionList.h"

#include <QDir>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimeEdit>
#include <QTreeWidget>

using Rows = QList<QStringList>;

namespace {

const QString Chinese = QStringLiteral("语文");
const QString Quoted = QStringLiteral("O'Neil \"期末\"");
const QString TwoLines = QStringLiteral("第一行\r\n'第二行'");

Rows shown(const QTreeWidget *list)
{
    Rows result;
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        const QTreeWidgetItem *row = list->topLevelItem(i);
        result.append({row->text(0), row->text(1), row->text(2)});
    }
    return result;
}

} // namespace

class TestEditor : public QObject
{
    Q_OBJECT

    std::unique_ptr<ShellFixture> f;
    QPointer<TFrm_config> editor;

    QString soundFolder() const { return f->programFolder.path() + QStringLiteral("/sound"); }

    Rows stored(const QString &subject)
    {
        return f->db.rows(QStringLiteral("select filename, explain, playtime from sound where "
                                         "subjectname = ? order by rowid"),
                          {subject});
    }

    void open(const QString &subject) { editor = openEditor(f->shell, subject); }

    void clickRow(int index)
    {
        QTreeWidget *list = editor->ListView1;
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualItemRect(list->topLevelItem(index)).center());
    }

    void clickBesideTheRows()
    {
        QWidget *viewport = editor->ListView1->viewport();
        QTest::mouseClick(viewport, Qt::LeftButton, {}, {10, viewport->height() - 5});
    }

private slots:
    void init()
    {
        f = std::make_unique<ShellFixture>();
        for (const QString &subject :
             {Chinese, QStringLiteral("数学"), QStringLiteral("空"), Quoted})
            f->db.addSubject(subject, QStringLiteral("2026-06-07 09:00:00"),
                             QStringLiteral("2026-06-07 11:00:00"));
        f->db.addSound(Chinese, QStringLiteral("b.wav"), TwoLines, QStringLiteral("09:30:00"));
        f->db.addSound(Chinese, QStringLiteral("a.wav"), QStringLiteral("开始"),
                       QStringLiteral("09:00:00"));
        f->db.addSound(QStringLiteral("数学"), QStringLiteral("m.wav"), QString(),
                       QStringLiteral("15:00:00"));
        f->db.addSound(Quoted, QStringLiteral("it's.wav"), TwoLines, QStringLiteral("08:00:00"));
    }

    void cleanup()
    {
        f.reset();
        ShellFixture::settle();
    }

    void opensOnTheSubjectsRowsInTimeOrder_data()
    {
        QTest::addColumn<QString>("subject");
        QTest::addColumn<Rows>("rows");
        QTest::newRow("no instructions") << QStringLiteral("空") << Rows{};
        QTest::newRow("time order")
            << Chinese << Rows{{"a.wav", "开始", "09:00:00"}, {"b.wav", TwoLines, "09:30:00"}};
        QTest::newRow("quotes and CR LF") << Quoted << Rows{{"it's.wav", TwoLines, "08:00:00"}};
    }

    void opensOnTheSubjectsRowsInTimeOrder()
    {
        QFETCH(QString, subject);
        QFETCH(Rows, rows);
        open(subject);
        QCOMPARE(shown(editor->ListView1), rows);
        QVERIFY(!f->shell.Frm_sa->isEnabled());
        QVERIFY(f->boxes.shown.isEmpty());
        QVERIFY(!editor->Edt_path->isEnabled());
        QVERIFY(editor->Edt_path->text().isEmpty());
        QVERIFY(editor->Memo1->toPlainText().isEmpty());
        QCOMPARE(editor->Memo1->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        QCOMPARE(editor->DateTimePicker1->time(), QTime(16, 13, 10));
        QCOMPARE(editor->DateTimePicker1->text(), QStringLiteral("16:13:10"));
        QVERIFY(!editor->FlatButton1->isEnabled());
        QVERIFY(!editor->FlatButton2->isEnabled());
    }

    void browseStartsInTheSoundFolder_data()
    {
        QTest::addColumn<QStringList>("answers");
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("warned");
        const QString inside = QStringLiteral("<sound>/a.wav");
        QTest::newRow("inside") << QStringList{inside} << inside << false;
        QTest::newRow("elsewhere") << QStringList{"<program>/b.wav"} << "<program>/b.wav" << true;
        QTest::newRow("cancel first") << QStringList{""} << "" << false;
        QTest::newRow("cancel after a choice") << QStringList{inside, ""} << inside << false;
    }

    void browseStartsInTheSoundFolder()
    {
        QFETCH(QStringList, answers);
        QFETCH(QString, path);
        QFETCH(bool, warned);
        QDir().mkpath(soundFolder());
        TestSounds::writeSilence(soundFolder() + QStringLiteral("/a.wav"), 100);
        TestSounds::writeSilence(f->programFolder.filePath(QStringLiteral("b.wav")), 100);
        path.replace("<program>", f->programFolder.path());
        open(Chinese);
        for (const QString &answer : answers) {
            f->fileDialog.answer = QString(answer)
                                       .replace("<sound>", soundFolder())
                                       .replace("<program>", f->programFolder.path());
            QTest::mouseClick(editor->FBtn_browse, Qt::LeftButton);
            QCOMPARE(f->fileDialog.lastFolder, QDir::toNativeSeparators(soundFolder()));
            QCOMPARE(f->fileDialog.lastFilter, QStringLiteral("*.wav"));
        }
        QCOMPARE(editor->Edt_path->text(),
                 QDir::toNativeSeparators(path.replace("<sound>", soundFolder())));
        const QStringList expected{
            QStringLiteral("所选文件不在播放文件夹中，考试前请将它复制到：") +
            QDir::toNativeSeparators(soundFolder())};
        QCOMPARE(f->boxes.texts(), warned ? expected : QStringList());
    }

    // Said when the file is chosen, not on exam day; the person may still
    // keep it (a recording to be replaced in the sound folder later).
    void aFileThatCannotPlayIsSaidSoAtOnce_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("reason");
        QTest::newRow("not sound") << "garbage"
                                   << "这不是可以播放的声音文件（WAV），或文件已损坏";
        QTest::newRow("no sound in it") << "empty"
                                        << "声音文件中没有声音";
        QTest::newRow("gone") << "missing"
                              << "文件不存在";
        QTest::newRow("sound") << "sound"
                               << "";
    }

    void aFileThatCannotPlayIsSaidSoAtOnce()
    {
        QFETCH(QString, kind);
        QFETCH(QString, reason);
        QDir().mkpath(soundFolder());
        const QString path = soundFolder() + QStringLiteral("/c.wav");
        if (kind == "garbage")
            TestSounds::writeGarbage(path);
        else if (kind != "missing")
            TestSounds::writeSilence(path, kind == "empty" ? 0 : 300);
        open(Chinese);
        f->fileDialog.answer = path;
        QTest::mouseClick(editor->FBtn_browse, Qt::LeftButton);
        QCOMPARE(f->boxes.texts(),
                 reason.isEmpty()
                     ? QStringList()
                     : QStringList{QStringLiteral("所选文件无法播放：") + reason +
                                   QStringLiteral("\n仍可保留它，但考试时这条指令将无法播放。")});
        QTest::mouseClick(editor->FBtn_add, Qt::LeftButton);
        QCOMPARE(editor->ListView1->topLevelItemCount(), 3);
    }

    void addAppendsOrRefuses_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("memo");
        QTest::addColumn<QTime>("time");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QStringList>("added");
        const QTime ten(10, 0);
        QTest::newRow("no file") << ""
                                 << "" << ten << "请选择要播放的文件" << QStringList();
        QTest::newRow("time taken")
            << "/x/c.wav"
            << "" << QTime(9, 30) << "不能添加播放时间相同的文件" << QStringList();
        QTest::newRow("folder dropped")
            << "/x/y/c.wav"
            << "说明" << ten << "" << QStringList{"c.wav", "说明", "10:00:00"};
        QTest::newRow("windows folder") << "C:\\exam\\sound\\d.wav"
                                        << "" << ten << "" << QStringList{"d.wav", "", "10:00:00"};
        QTest::newRow("drive only")
            << "D:e.wav"
            << "" << QTime(8, 0) << "" << QStringList{"e.wav", "", "08:00:00"};
        QTest::newRow("two lines")
            << "f.wav"
            << "一\n二" << ten << "" << QStringList{"f.wav", "一\r\n二", "10:00:00"};
    }

    void addAppendsOrRefuses()
    {
        QFETCH(QString, path);
        QFETCH(QString, memo);
        QFETCH(QTime, time);
        QFETCH(QString, message);
        QFETCH(QStringList, added);
        open(Chinese);
        Rows rows = shown(editor->ListView1);
        editor->Edt_path->setText(path);
        editor->Memo1->setPlainText(memo);
        editor->DateTimePicker1->setTime(time);
        QTest::mouseClick(editor->FBtn_add, Qt::LeftButton);
        if (!added.isEmpty())
            rows.append(added);
        QCOMPARE(shown(editor->ListView1), rows);
        QCOMPARE(f->boxes.texts(), message.isEmpty() ? QStringList() : QStringList{message});
        QCOMPARE(editor->Edt_path->text(), path);
        QCOMPARE(stored(Chinese).size(), 2);
    }

    void modifyAndDeleteActOnTheClickedRow_data()
    {
        QTest::addColumn<bool>("modify");
        QTest::addColumn<bool>("clickBeside");
        QTest::addColumn<Rows>("rows");
        const Rows before{{"a.wav", "开始", "09:00:00"}, {"b.wav", TwoLines, "09:30:00"}};
        QTest::newRow("modify, same time as another row")
            << true << false << Rows{before[0], {"new.wav", "改\r\n过", "09:00:00"}};
        QTest::newRow("delete") << false << false << Rows{before[0]};
        QTest::newRow("modify after a click beside") << true << true << before;
        QTest::newRow("delete after a click beside") << false << true << before;
    }

    void modifyAndDeleteActOnTheClickedRow()
    {
        QFETCH(bool, modify);
        QFETCH(bool, clickBeside);
        QFETCH(Rows, rows);
        open(Chinese);
        clickBesideTheRows();
        QVERIFY(!editor->FlatButton1->isEnabled());

        clickRow(1);
        QCOMPARE(editor->Edt_path->text(), QDir::toNativeSeparators(soundFolder() + "/b.wav"));
        QCOMPARE(editor->Memo1->toPlainText(), QStringLiteral("第一行\n'第二行'"));
        QCOMPARE(editor->DateTimePicker1->time(), QTime(9, 30));
        QVERIFY(editor->FlatButton1->isEnabled());
        QVERIFY(editor->FlatButton2->isEnabled());

        if (clickBeside) {
            clickBesideTheRows();
            QVERIFY(editor->ListView1->selectedItems().isEmpty());
            QCOMPARE(editor->DateTimePicker1->time(), QTime(9, 30));
        }
        editor->Edt_path->setText(QStringLiteral("/n/new.wav"));
        editor->Memo1->setPlainText(QStringLiteral("改\n过"));
        editor->DateTimePicker1->setTime(QTime(9, 0));
        QTest::mouseClick(modify ? editor->FlatButton1 : editor->FlatButton2, Qt::LeftButton);
        QCOMPARE(shown(editor->ListView1), rows);
        QCOMPARE(editor->FlatButton1->isEnabled(), clickBeside);
        QCOMPARE(editor->FlatButton2->isEnabled(), clickBeside);
        QVERIFY(f->boxes.shown.isEmpty());
        QCOMPARE(stored(Chinese).size(), 2);
    }

    void doneReplacesTheSubjectsRows_data()
    {
        QTest::addColumn<QString>("subject");
        QTest::addColumn<Rows>("list");
        QTest::addColumn<Rows>("console");
        const QStringList late{"late.wav", "", "11:00:00"};
        const QStringList early{"early.wav", "前", "07:00:00"};
        const QStringList lines{"it's.wav", TwoLines, "08:00:00"};
        const QStringList noon{"noon.wav", "\"午\"", "12:00:00"};
        QTest::newRow("four rows, list order kept")
            << Chinese << Rows{late, early, lines, noon} << Rows{early, lines, late, noon};
        QTest::newRow("empty list") << Chinese << Rows{} << Rows{};
        QTest::newRow("quoted subject") << Quoted << Rows{noon, lines} << Rows{lines, noon};
    }

    void doneReplacesTheSubjectsRows()
    {
        QFETCH(QString, subject);
        QFETCH(Rows, list);
        QFETCH(Rows, console);
        open(subject);
        const Rows other = stored(QStringLiteral("数学"));
        editor->ListView1->clear();
        for (const QStringList &row : list)
            InstructionList::append(editor->ListView1, row[0], row[1],
                                    QTime::fromString(row[2], Qt::ISODate), f->formats);
        QTest::mouseClick(editor->FBtn_ok, Qt::LeftButton);
        QCOMPARE(stored(subject), list);
        QCOMPARE(stored(QStringLiteral("数学")), other);
        QCOMPARE(shown(f->shell.Frm_sa->ListView1), console);
        QCOMPARE(f->boxes.texts(),
                 QStringList{QStringLiteral("一共修改了%1条记录").arg(list.size())});
        QVERIFY(f->shell.Frm_sa->isEnabled());
        ShellFixture::settle();
        QVERIFY(!editor);
    }

    void anEditorThatCouldNotReadItsListCannotReplaceTheRows()
    {
        SKIP_UNLESS_FILE();
        const Rows before = stored(Chinese);
        TFrm_sa *console = chooseSubject(f->shell, Chinese);
        f->db.exec(QStringLiteral("begin exclusive"));
        QTest::mouseClick(console->Fbtn_enter, Qt::LeftButton);
        f->db.exec(QStringLiteral("rollback"));
        QCOMPARE(f->boxes.shown.size(), 1);
        editor = f->shell.Frm_config;
        if (editor && editor->isVisible())
            QTest::mouseClick(editor->FBtn_ok, Qt::LeftButton);
        QCOMPARE(stored(Chinese), before);
        ShellFixture::settle();
        QVERIFY(!editor);
        QVERIFY(console->isEnabled());

        // Readable again, the next try opens the whole list.
        QTest::mouseClick(console->Fbtn_enter, Qt::LeftButton);
        editor = f->shell.Frm_config;
        QVERIFY(editor);
        QCOMPARE(editor->ListView1->topLevelItemCount(), 2);
    }

    void aSavedListClosesTheEditorEvenWhenTheConsoleCannotRefresh()
    {
        SKIP_UNLESS_FILE();
        // Every read of the subject's rows fails once a row has been written,
        // which happens only inside the save.
        for (const char *sql :
             {"alter table sound rename to sound_rows", "create table written(x)",
              "create view sound as select * from sound_rows "
              "where not exists (select 1 from written) or json(filename) is not null",
              "create trigger sound_delete instead of delete on sound begin "
              "delete from sound_rows where subjectname = old.subjectname; end",
              "create trigger sound_insert instead of insert on sound begin "
              "insert into sound_rows values (new.subjectname, new.filename, new.explain, "
              "new.playtime); insert into written values (1); end"})
            f->db.exec(QString::fromLatin1(sql));
        open(Chinese);
        QTest::mouseClick(editor->FBtn_ok, Qt::LeftButton);
        QCOMPARE(f->boxes.shown.size(), 2);
        QVERIFY(f->boxes.shown[0].text.endsWith(QStringLiteral("\nmalformed JSON")));
        ShellFixture::settle();
        QVERIFY(!editor);
        TFrm_sa *console = f->shell.Frm_sa;
        QVERIFY(console->isEnabled());
        QCOMPARE(console->ListView1->topLevelItemCount(), 0);
        QCOMPARE(f->db.rows(QStringLiteral("select filename from sound_rows "
                                           "where subjectname = ? order by rowid"),
                            {Chinese}),
                 (Rows{{"a.wav"}, {"b.wav"}}));
    }

    void untouchedRowsAreSavedAsStored()
    {
        const QString subject = QStringLiteral("空");
        const QStringList times{QString(), "9:05:00", "25:99:00", "09:30:00.250",
                                "2026-06-07 10:00:00"};
        for (const QString &time : times)
            f->db.exec(QStringLiteral("insert into sound values (?, 'x.wav', '', ?)"),
                       {subject, time.isNull() ? QVariant() : QVariant(time)});
        const QList<QStringList> before = f->db.rows(
            QStringLiteral("select playtime from sound where subjectname = ? order by playtime"),
            {subject});
        open(subject);
        QStringList shownTimes;
        for (const QStringList &row : shown(editor->ListView1))
            shownTimes << row[2];
        shownTimes.sort();
        QCOMPARE(shownTimes, (QStringList{"09:30:00", "10:00:00", "无法读取", "无法读取：25:99:00",
                                          "无法读取：9:05:00"}));
        QCOMPARE(f->boxes.shown.size(), 1);
        QTest::mouseClick(editor->FBtn_ok, Qt::LeftButton);
        QCOMPARE(
            f->db.rows(QStringLiteral(
                           "select playtime from sound where subjectname = ? order by playtime"),
                       {subject}),
            before);
    }

    void leavingSavesNothing_data()
    {
        QTest::addColumn<bool>("byClosing");
        QTest::newRow("返回") << false;
        QTest::newRow("close box") << true;
    }

    void leavingSavesNothing()
    {
        QFETCH(bool, byClosing);
        open(Chinese);
        const Rows before = stored(Chinese);
        clickRow(0);
        QTest::mouseClick(editor->FlatButton2, Qt::LeftButton);
        editor->Edt_path->setText(QStringLiteral("/x/new.wav"));
        QTest::mouseClick(editor->FBtn_add, Qt::LeftButton);
        if (byClosing)
            editor->close();
        else
            QTest::mouseClick(editor->Fbtn_quit, Qt::LeftButton);
        QCOMPARE(stored(Chinese), before);
        QVERIFY(f->boxes.shown.isEmpty());
        QVERIFY(f->shell.Frm_sa->isEnabled());
        ShellFixture::settle();
        QVERIFY(!editor);
    }
};

TESSIVOX_TEST_EACH_ENGINE(TestEditor, QApplication)
#include "tst_editor.moc"
