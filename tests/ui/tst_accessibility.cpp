#include "support/OpenEditor.h"
#include "support/ShellFixture.h"

#include "ui/admin/TFrm_config.h"
#include "ui/admin/TFrm_sa.h"
#include "ui/admin/TFrm_validate.h"
#include "ui/board/StatusBoard.h"
#include "ui/main/TFrm_main.h"
#include "ui/run/TFrm_Subject.h"

#include "controls/TFlatComboBox.h"
#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QAccessible>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTextEdit>

// What a screen reader hears of each window's inputs: a name of the input's
// own, not the window's, the page's or the frame's, for every one of them.
namespace {

bool isInput(const QWidget *widget)
{
    // A box's own line edit, a combo box's drop-down list and a table's
    // header are parts of the input they belong to.
    for (const QWidget *up = widget->parentWidget(); up; up = up->parentWidget())
        if (qobject_cast<const QAbstractSpinBox *>(up) || qobject_cast<const QComboBox *>(up) ||
            qobject_cast<const QAbstractItemView *>(up))
            return false;
    return qobject_cast<const QLineEdit *>(widget) ||
           qobject_cast<const QAbstractSpinBox *>(widget) ||
           qobject_cast<const QComboBox *>(widget) ||
           qobject_cast<const QAbstractItemView *>(widget) ||
           qobject_cast<const QPlainTextEdit *>(widget) || qobject_cast<const QTextEdit *>(widget);
}

// Each input's name, or where it has none, its object's class.
QStringList faults(const QWidget *window)
{
    QStringList found;
    QHash<QString, int> names;
    for (QWidget *widget : window->findChildren<QWidget *>()) {
        if (!isInput(widget))
            continue;
        QAccessibleInterface *reader = QAccessible::queryAccessibleInterface(widget);
        const QString name = reader ? reader->text(QAccessible::Name).trimmed() : QString();
        if (name.isEmpty())
            found << QStringLiteral("a %1 without a name").arg(widget->metaObject()->className());
        else if (++names[name] == 2)
            found << QStringLiteral("two inputs named %1").arg(name);
        else if (name == window->windowTitle())
            found << QStringLiteral("an input named as its window, %1").arg(name);
    }
    return found;
}

} // namespace

class TestAccessibility : public QObject
{
    Q_OBJECT

    std::unique_ptr<ShellFixture> f;

private slots:
    void init()
    {
        f = std::make_unique<ShellFixture>();
        f->db.addSubject(QStringLiteral("语文"), QStringLiteral("2026-06-07 09:00:00"),
                         QStringLiteral("2026-06-07 11:00:00"));
        f->db.addSound(QStringLiteral("语文"), QStringLiteral("a.wav"), QStringLiteral("A"),
                       QStringLiteral("08:00:00"));
    }

    void cleanup()
    {
        f.reset();
        ShellFixture::settle();
    }

    void everyInputOfTheRoomsWindowsHasANameOfItsOwn()
    {
        TFrm_main *main = f->start();
        main->show();
        // The clock row's fields too.
        QTest::mouseClick(main->FlatButton2, Qt::LeftButton);
        QVERIFY2(faults(main).isEmpty(), qPrintable(faults(main).join("; ")));
        TFrm_validate *gate = f->openGate();
        QVERIFY2(faults(gate).isEmpty(), qPrintable(faults(gate).join("; ")));
        f->shell.Frm_validate->close();
        ShellFixture::settle();

        TFrm_config *editor = openEditor(f->shell, QStringLiteral("语文"));
        QVERIFY2(faults(f->shell.Frm_sa).isEmpty(), qPrintable(faults(f->shell.Frm_sa).join("; ")));
        QVERIFY2(faults(editor).isEmpty(), qPrintable(faults(editor).join("; ")));
        editor->close();
        f->shell.Frm_sa->close();
        ShellFixture::settle();

        main->ComboBox1->setCurrentIndex(main->ComboBox1->findText(QStringLiteral("语文")));
        QTest::mouseClick(main->FBtn_ok, Qt::LeftButton);
        QVERIFY(f->shell.Frm_Subject);
        QVERIFY2(faults(f->shell.Frm_Subject).isEmpty(),
                 qPrintable(faults(f->shell.Frm_Subject).join("; ")));
    }

    void everyInputOfTheBoardHasANameOfItsOwn()
    {
        // No server answers there: the board's inputs are there all the same.
        StatusBoard board(QStringLiteral("postgresql://127.0.0.1:1/none?connect_timeout=1"), 2000);
        QVERIFY2(faults(&board).isEmpty(), qPrintable(faults(&board).join("; ")));
    }
};

QTEST_MAIN(TestAccessibility)
#include "tst_accessibility.moc"
