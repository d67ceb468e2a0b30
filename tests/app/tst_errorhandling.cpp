#include "support/ShellFixture.h"

#include "app/Application.h"
#include "data/DbError.h"
#include "platform/Timer.h"
#include "ui/main/TFrm_main.h"

#include "controls/TFlatComboBox.h"
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

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

    void anErrorBoxClosingDoesNotReloadIntoTheSameError()
    {
        ShellFixture f;
        QVERIFY(QFile::remove(f.db.path()));
        TFrm_main *main = f.start();
        main->show();

        // Closing the box re-activates the window: no second box for that.
        QApplication::setActiveWindow(nullptr);
        QApplication::setActiveWindow(main);
        QCOMPARE(f.boxes.shown.size(), 1);

        // A later return to the window tries again, and says so again.
        QApplication::setActiveWindow(nullptr);
        QApplication::setActiveWindow(main);
        QCOMPARE(f.boxes.shown.size(), 2);

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

        QCOMPARE(boxes.texts(), (QStringList{QStringLiteral("no such table: sound"),
                                             QStringLiteral("database is locked")}));
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
