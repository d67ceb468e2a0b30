#include "ui/admin/TFrm_validate.h"

#include "platform/MessageBoxes.h"
#include "platform/Platform.h"
#include "ui/admin/TFrm_sa.h"
#include "ui/common/Controls.h"
#include "ui/main/TFrm_main.h"

#include <QCryptographicHash>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

// Only a salted digest of the administrator password is kept, so that its
// digits cannot be read out of the executable. The comparison stays exact:
// whole text, case-sensitive, nothing trimmed.
bool isPassword(const QString &typed)
{
    static const QByteArray salt = QByteArray::fromHex("a7e3ccf17cf96a5b03c5cc10801e37d0");
    static const QByteArray digest =
        QByteArray::fromHex("e2c233b6bf6265d97486de35ac37436fd30d1a558e0560a9d457fda26569e7c7");
    return QCryptographicHash::hash(salt + typed.toUtf8(), QCryptographicHash::Sha256) == digest;
}

} // namespace

TFrm_validate::TFrm_validate(Shell &shell)
    : Form(shell, QStringLiteral("管理员身份验证"), QSize(256, 146)),
      GroupBox1(new QGroupBox(this)), Label1(new QLabel(QStringLiteral("请输入密码："), GroupBox1)),
      MaskEdit1(new QLineEdit(GroupBox1)),
      Fbtn_ok(new QPushButton(QStringLiteral("确定"), GroupBox1)),
      Fbtn_quit(new QPushButton(QStringLiteral("放弃"), GroupBox1))
{
    GroupBox1->setGeometry(8, 4, 240, 134);
    Label1->setGeometry(20, 24, 100, 20);
    MaskEdit1->setGeometry(20, 50, 200, 24);
    MaskEdit1->setEchoMode(QLineEdit::Password);
    MaskEdit1->setStyleSheet(QStringLiteral("lineedit-password-character: 42")); // '*'
    Fbtn_ok->setGeometry(40, 92, 75, 25);
    Fbtn_quit->setGeometry(130, 92, 75, 25);
    setTabOrder(Fbtn_ok, Fbtn_quit);
    setTabOrder(Fbtn_quit, MaskEdit1);
    // The person comes to type the password.
    MaskEdit1->setFocus();
    Controls::name(MaskEdit1, Label1);

    on(Fbtn_ok, &QPushButton::clicked, &TFrm_validate::Fbtn_okClick);
    on(Fbtn_quit, &QPushButton::clicked, &TFrm_validate::Fbtn_quitClick);
}

void TFrm_validate::Fbtn_okClick()
{
    if (!isPassword(MaskEdit1->text())) {
        m_shell.platform.messageBoxes.show(this, QStringLiteral("密码错误"),
                                           QStringLiteral("Warning"), MessageBoxes::Buttons::Ok,
                                           MessageBoxes::Icon::None);
        // Ready for the next try, without deleting stars one by one.
        MaskEdit1->clear();
        MaskEdit1->setFocus();
        return;
    }
    TFrm_sa *console = m_shell.create(m_shell.Frm_sa);
    console->centreOnScreen();
    console->show();
    console->activateWindow();
    m_shell.release(this);
}

void TFrm_validate::Fbtn_quitClick()
{
    TFrm_main *main = m_shell.Frm_main;
    main->show();
    main->raise();
    main->setEnabled(true);
    main->activateWindow();
    m_shell.release(this);
}

void TFrm_validate::FormClose()
{
    Fbtn_quitClick();
}
