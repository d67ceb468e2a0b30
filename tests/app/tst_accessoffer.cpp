#include "support/AccessFixtures.h"
#include "support/ShellFixture.h"

#include "app/AccessOffer.h"
#include "controls/TFlatComboBox.h"
#include "ui/main/TFrm_main.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QTest>

// The program finds an Access schedule where its database should be: the
// user answers the offer as the boxes ask, then uses the main window.
class tst_AccessOffer : public QObject
{
    Q_OBJECT

    // The fixture's database file replaced by an Access file; its hash.
    static QByteArray putAccessFile(ShellFixture &f, const QString &fixture, qint64 length = -1)
    {
        QFile::remove(f.db.path());
        AccessFixtures::copy(fixture, f.db.path(), length);
        return AccessFixtures::sha256(f.db.path());
    }

    static QStringList filesIn(const ShellFixture &f)
    {
        return QDir(f.db.dataFolder()).entryList(QDir::Files | QDir::Hidden);
    }

    static QStringList subjectsListed(TFrm_main *main)
    {
        QStringList names;
        for (int i = 0; i < main->ComboBox1->count(); ++i)
            names << main->ComboBox1->itemText(i);
        return names;
    }

private slots:
    void yesBringsTheScheduleIn()
    {
        ShellFixture f;
        const QByteArray hash = putAccessFile(f, "jet4-datetime.mdb");
        f.boxes.answers = {MessageBoxes::Answer::Ok};
        offerAccessImport(f.boxes, f.db.path(), f.programFolder.path());

        QCOMPARE(f.boxes.shown.size(), 2);
        QCOMPARE(f.boxes.shown.at(0).buttons, MessageBoxes::Buttons::OkCancel);
        QVERIFY(f.boxes.shown.at(0).text.contains("是 Access 数据库中的考试安排"));
        const QString report = f.boxes.shown.at(1).text;
        QVERIFY2(report.startsWith("导入完成。原 Access 文件保存为"), qPrintable(report));
        QVERIFY(
            report.contains("英语 'A' 卷　2026-06-08 15:00:00 至 2026-06-08 17:00:00，指令 2 条"));
        QVERIFY(report.contains("sound 表第 11 行（科目“无此科目”）：没有此科目的 test 行"));
        QCOMPARE(filesIn(f), QStringList({"asdf-access.mdb", "asdf.mdb"}));
        QCOMPARE(AccessFixtures::sha256(f.db.dataFolder() + "/asdf-access.mdb"), hash);

        TFrm_main *main = f.start();
        QCOMPARE(subjectsListed(main), QStringList({"语文", "数学", "英语 'A' 卷"}));
        QCOMPARE(main->Lbl_title->text(),
                 QStringLiteral("2026年全国统一考试 第三考点（实验中学）"));
    }

    void noChangesNothing()
    {
        ShellFixture f;
        const QByteArray hash = putAccessFile(f, "jet4-text-zh.mdb");
        f.boxes.answers = {MessageBoxes::Answer::Cancel};
        offerAccessImport(f.boxes, f.db.path(), f.programFolder.path());
        QCOMPARE(f.boxes.shown.size(), 2);
        QVERIFY(f.boxes.shown.at(1).text.contains("tessivox-db import " +
                                                  QDir::toNativeSeparators(f.db.path())));
        QCOMPARE(filesIn(f), QStringList({"asdf.mdb"}));
        QCOMPARE(AccessFixtures::sha256(f.db.path()), hash);
    }

    // A file that cannot be read whole is left as it is, with the reason.
    void damagedFileStaysAsItIs()
    {
        ShellFixture f;
        const QByteArray hash = putAccessFile(f, "jet4-datetime.mdb", 139264);
        offerAccessImport(f.boxes, f.db.path(), f.programFolder.path());
        QCOMPARE(f.boxes.shown.size(), 2);
        QCOMPARE(f.boxes.shown.at(1).icon, MessageBoxes::Icon::Error);
        QVERIFY(f.boxes.shown.at(1).text.contains("已损坏或不完整"));
        QCOMPARE(filesIn(f), QStringList({"asdf.mdb"}));
        QCOMPARE(AccessFixtures::sha256(f.db.path()), hash);
    }
};

QTEST_MAIN(tst_AccessOffer)
#include "tst_accessoffer.moc"
