#include "support/ShellFixture.h"

#include "ui/admin/TFrm_sa.h"
#include "ui/admin/TFrm_validate.h"
#include "ui/main/TFrm_main.h"

#include <QFile>
#include <QLineEdit>
#include <QPushButton>
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
            QCOMPARE(gate->MaskEdit1->text(), typed);
        }
        ShellFixture::settle();
        const bool opens = attempts.last() == Password;
        QCOMPARE(bool(f->shell.Frm_sa), opens);
        QCOMPARE(bool(f->shell.Frm_validate), !opens);
        QVERIFY(!f->shell.Frm_main->isEnabled());
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
        QFile program(qEnvironmentVariable("TESSIVOX_TEST_TOOLS") + QStringLiteral("/tessivox"));
        QVERIFY2(program.open(QIODevice::ReadOnly), qPrintable(program.fileName()));
        QCOMPARE(program.readAll().contains(bytes), present);
    }
};

QTEST_MAIN(TestGate)
#include "tst_gate.moc"
