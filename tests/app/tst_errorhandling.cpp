#include "support/ShellFixture.h"

#include "app/Application.h"
#include "data/DbError.h"
#include "platform/Timer.h"
#include "platform/widgets/QtMessageBoxes.h"
#include "ui/main/TFrm_main.h"

#include "controls/TFlatComboBox.h"
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

namespace {

class Throwing final : public QObject
{
public:
    bool event(QEvent *event) override
    {
        if (event->type() == QEvent::User)
            throw DbError(QStringLiteral("no such table: sound"));
        return QObject::event(event);
    }
};

} // namespace

class TestErrorHandling : public QObject
{
    Q_OBJECT

private slots:
    void missingDatabaseIsShownAndTheMainWindowStillOpens()
    {
        ShellFixture f;
        f.db.close();
        QVERIFY(QFile::remove(f.db.path()));
        TFrm_main *main = f.start();

        QCOMPARE(f.boxes.shown.size(), 1);
        const FakeMessageBoxes::Shown box = f.boxes.shown[0];
        QCOMPARE(box.caption, QStringLiteral("Tessivox"));
        QCOMPARE(box.icon, MessageBoxes::Icon::Error);
        QVERIFY2(box.text.contains(QStringLiteral("unable to open database file")),
                 qPrintable(box.text));
        QCOMPARE(main->Lbl_title->text(), QStringLiteral("title"));
        QCOMPARE(main->ComboBox1->count(), 0);
        QVERIFY(!QFile::exists(f.db.path()));
        QVERIFY(!main->Label2->text().isEmpty());
    }

    void theMainWindowRecoversOnceTheDatabaseIsUsable_data()
    {
        QTest::addColumn<bool>("locked");
        QTest::addColumn<QString>("error");
        QTest::newRow("file missing") << false << QStringLiteral("unable to open database file");
        QTest::newRow("file locked") << true << QStringLiteral("database is locked");
    }

    void theMainWindowRecoversOnceTheDatabaseIsUsable()
    {
        QFETCH(bool, locked);
        QFETCH(QString, error);
        ShellFixture f;
        f.db.addSubject(QStringLiteral("数学"), QStringLiteral("2026-06-07 15:00:00"),
                        QStringLiteral("2026-06-07 17:00:00"));
        const QString saved = f.db.dir() + QStringLiteral("/saved.mdb");
        QVERIFY(QFile::copy(f.db.path(), saved));
        if (locked) {
            f.db.exec(QStringLiteral("BEGIN EXCLUSIVE"));
        } else {
            f.db.close();
            QVERIFY(QFile::remove(f.db.path()));
        }
        // Every box is shown for real and answered once it has the input, so
        // the input moves between the windows as the platform moves it.
        QtMessageBoxes real;
        QTimer answer;
        answer.setInterval(10);
        connect(&answer, &QTimer::timeout, [] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeWindow()))
                box->done(QMessageBox::Ok);
        });
        answer.start();
        f.boxes.whileOpen = [&](const FakeMessageBoxes::Shown &box) {
            real.show(box.owner, box.text, box.caption, box.buttons, box.icon);
        };

        QElapsedTimer waited;
        waited.start();
        TFrm_main *main = f.start();
        QVERIFY2(waited.elapsed() < 3000, qPrintable(QString::number(waited.elapsed())));
        main->show();
        main->activateWindow();
        QTRY_VERIFY(main->isActiveWindow());
        QCOMPARE(f.boxes.shown.size(), 1);
        QVERIFY2(f.boxes.shown[0].text.contains(error), qPrintable(f.boxes.shown[0].text));

        // A return through one of the program's boxes tries again and says so
        // once; the error box's own closing does not start it again.
        QTest::mouseClick(main->FBtn_ok, Qt::LeftButton);
        QTRY_COMPARE(f.boxes.shown.size(), 3);
        QTRY_VERIFY(main->isActiveWindow());
        QTest::qWait(100);
        QCOMPARE(f.boxes.texts().mid(1),
                 (QStringList{QStringLiteral("请选择考试科目!"), f.boxes.shown[0].text}));
        QCOMPARE(main->Lbl_title->text(), QStringLiteral("title"));

        if (locked)
            f.db.exec(QStringLiteral("ROLLBACK"));
        else
            QVERIFY(QFile::copy(saved, f.db.path()));
        QTest::mouseClick(main->FBtn_ok, Qt::LeftButton);
        QTRY_COMPARE(main->Lbl_title->text(), QStringLiteral("Tessivox"));
        QCOMPARE(main->ComboBox1->count(), 1);
        QCOMPARE(f.boxes.shown.size(), 4);

        // The button that ends the program still answers.
        QSignalSpy terminated(&f.shell, &Shell::terminated);
        QTest::mouseClick(main->FBtn_quit, Qt::LeftButton);
        QCOMPARE(terminated.size(), 1);
    }

    void databaseWithoutTablesStopsTheLoadAtTheFailingStatement()
    {
        ShellFixture f;
        f.db.exec(QStringLiteral("drop table test"));
        TFrm_main *main = f.start();
        QCOMPARE(f.boxes.shown.size(), 1);
        QVERIFY2(f.boxes.shown[0].text.contains(QStringLiteral("test")),
                 qPrintable(f.boxes.shown[0].text));
        // The title was read before the failing statement.
        QCOMPARE(main->Lbl_title->text(), QStringLiteral("Tessivox"));
        QCOMPARE(main->ComboBox1->count(), 0);
    }

    void errorsEscapingAnyEventAreShownAndTheProgramRunsOn()
    {
        FakeMessageBoxes boxes;
        ErrorHandler errors(boxes);
        auto *app = static_cast<Application *>(QCoreApplication::instance());
        app->setErrorHandler(&errors);

        Throwing target;
        QCoreApplication::postEvent(&target, new QEvent(QEvent::User));
        QCoreApplication::sendPostedEvents(&target);

        Timer timer(5);
        int ticks = 0;
        connect(&timer, &Timer::timeout, &timer, [&] {
            if (++ticks == 1)
                throw DbError(QStringLiteral("database is locked"));
        });
        QTRY_VERIFY(ticks >= 3);
        app->setErrorHandler(nullptr);

        // The user's line first, the engine's own text on the second.
        QCOMPARE(boxes.texts(),
                 (QStringList{QStringLiteral("数据库操作失败。\nno such table: sound"),
                              QStringLiteral("数据库操作失败。\ndatabase is locked")}));
        for (const FakeMessageBoxes::Shown &box : boxes.shown) {
            QCOMPARE(box.caption, QStringLiteral("Tessivox"));
            QCOMPARE(box.icon, MessageBoxes::Icon::Error);
        }
    }
};

int main(int argc, char **argv)
{
    Application app(argc, argv);
    TestErrorHandling test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_errorhandling.moc"
