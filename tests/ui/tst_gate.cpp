#include "support/ShellFixture.h"

#include "ui/admin/TFrm_sa.h"
#include "ui/admin/TFrm_validate.h"
#include "ui/main/TFrm_main.h"

#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardPaths>
#include <QStringEncoder>
#include <QTest>

namespace {

const QString Password = QStringLiteral("50716283941");

QByteArray utf16le(const QString &text)
{
    return QStringEncoder(QStringEncoder::Utf16LE).encode(text);
}

} // namespace

class TestGate : public QObject
{
    Q_OBJECT

    std::unique_ptr<ShellFixture> f;

private slots:
    void init()
    {
        f = std::make_unique<ShellFixture>();
        f->start()->show();
    }

    void cleanup() { f.reset(); }

    void onlyTheExactPasswordOpens_data()
    {
        QTest::addColumn<QStringList>("attempts");
        QTest::newRow("exact") << QStringList{Password};
        QTest::newRow("after refusals") << QStringList{{}, QStringLiteral("123"), Password};
        QTest::newRow("leading blank") << QStringList{QLatin1Char(' ') + Password};
        QTest::newRow("one digit more") << QStringList{Password + QLatin1Char('1')};
        QTest::newRow("full-width digits") << QStringList{QStringLiteral("５０７１６２８３９４１")};
        QTest::newRow("no lock-out")
            << QStringList{QStringLiteral("x"), QStringLiteral("x"), QStringLiteral("x"), Password};
    }

    void onlyTheExactPasswordOpens()
    {
        QFETCH(QStringList, attempts);
        TFrm_validate *gate = f->openGate();
        for (const QString &typed : attempts) {
            QVERIFY(!f->shell.Frm_sa);
            const qsizetype boxes = f->boxes.shown.size();
            gate->MaskEdit1->setText(typed);
            QTest::mouseClick(gate->Fbtn_ok, Qt::LeftButton);
            if (typed == Password)
                break;
            QCOMPARE(f->boxes.shown.size(), boxes + 1);
            const FakeMessageBoxes::Shown &box = f->boxes.shown.last();
            QCOMPARE(box.text, QStringLiteral("密码错误"));
            QCOMPARE(box.caption, QStringLiteral("Warning"));
            QCOMPARE(box.buttons, MessageBoxes::Buttons::Ok);
            QCOMPARE(box.icon, MessageBoxes::Icon::None);
            // Ready for the next try.
            QVERIFY(gate->MaskEdit1->text().isEmpty());
            QCOMPARE(gate->focusWidget(), gate->MaskEdit1);
        }
        ShellFixture::settle();
        const bool opens = attempts.last() == Password;
        QCOMPARE(bool(f->shell.Frm_sa), opens);
        QCOMPARE(bool(f->shell.Frm_validate), !opens);
        QVERIFY(!f->shell.Frm_main->isEnabled());
    }

    // Typed, then Enter, as a person does: no mouse needed.
    void theKeyboardAloneOpensOrLeavesTheGate_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("key");
        QTest::addColumn<bool>("opens");
        QTest::newRow("Enter with the password") << Password << int(Qt::Key_Return) << true;
        QTest::newRow("keypad Enter") << Password << int(Qt::Key_Enter) << true;
        QTest::newRow("Enter with a wrong one")
            << QStringLiteral("1") << int(Qt::Key_Return) << false;
        QTest::newRow("Escape") << Password << int(Qt::Key_Escape) << false;
    }

    void theKeyboardAloneOpensOrLeavesTheGate()
    {
        QFETCH(QString, typed);
        QFETCH(int, key);
        QFETCH(bool, opens);
        TFrm_validate *gate = f->openGate();
        QCOMPARE(gate->focusWidget(), gate->MaskEdit1);
        QTest::keyClicks(gate->MaskEdit1, typed);
        QTest::keyClick(gate->MaskEdit1, Qt::Key(key),
                        key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);
        ShellFixture::settle();
        QCOMPARE(bool(f->shell.Frm_sa), opens);
        const bool refused = key != Qt::Key_Escape && !opens;
        QCOMPARE(bool(f->shell.Frm_validate), refused);
        QCOMPARE(f->boxes.texts(),
                 refused ? QStringList{QStringLiteral("密码错误")} : QStringList());
        QCOMPARE(f->shell.Frm_main->isEnabled(), key == Qt::Key_Escape);
    }

    void thePasswordCannotBeReadFromTheProgram_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("present");
        QTest::newRow("digits as ASCII or UTF-8") << Password.toUtf8() << false;
        QTest::newRow("digits as UTF-16LE") << utf16le(Password) << false;
        // The scan does find the texts the program carries.
        QTest::newRow("the gate's message") << utf16le(QStringLiteral("密码错误")) << true;
    }

    void thePasswordCannotBeReadFromTheProgram()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, present);
        // The program as the system finds it: tessivox.exe on Windows.
        const QString tools = qEnvironmentVariable("TESSIVOX_TEST_TOOLS");
        QFile program(QStandardPaths::findExecutable(QStringLiteral("tessivox"), {tools}));
        QVERIFY2(program.open(QIODevice::ReadOnly),
                 qPrintable(tools + QStringLiteral("/tessivox")));
        QCOMPARE(program.readAll().contains(bytes), present);
    }
};

QTEST_MAIN(TestGate)
#include "tst_gate.moc"
