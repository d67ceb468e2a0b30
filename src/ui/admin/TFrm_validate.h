#pragma once

#include "app/Form.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

// The administrator password gate between the main window and the console.
class TFrm_validate final : public Form
{
    Q_OBJECT

public:
    explicit TFrm_validate(Shell &shell);

    void Fbtn_okClick();
    void Fbtn_quitClick();

    QGroupBox *GroupBox1;
    QLabel *Label1;
    QLineEdit *MaskEdit1;
    QPushButton *Fbtn_ok;
    QPushButton *Fbtn_quit;

protected:
    void FormClose() override;
    QPushButton *mainButton() const override { return Fbtn_ok; }
};
