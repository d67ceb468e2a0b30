#pragma once

#include "app/Form.h"

class QDateEdit;
class QFrame;
class QGroupBox;
class QLabel;
class QPushButton;
class QTimeEdit;
class TFlatComboBox;
class Timer;

// The principal window: system title, subject choice, live clock, a quick
// way to set the computer's clock, and the ways into a run and into
// administration. Closing it ends the program.
class TFrm_main final : public Form
{
    Q_OBJECT

public:
    explicit TFrm_main(Shell &shell);

    // The load: runs at creation and each time the window becomes the
    // active window again.
    void FormCreate() override;
    void Timer1Timer();
    void FBtn_okClick();
    void FBtn_saClick();
    void FBtn_quitClick();
    void FlatButton2Click();
    void FlatButton1Click();

    QGroupBox *GroupBox1;
    QLabel *Lbl_title;
    QLabel *Label1;
    TFlatComboBox *ComboBox1;
    QLabel *Label3;
    QLabel *Label2;
    QPushButton *FBtn_ok;
    QPushButton *FlatButton2;
    QPushButton *FBtn_sa;
    QPushButton *FBtn_quit;
    QFrame *Bevel1;
    QDateEdit *DateTimePicker1;
    QTimeEdit *DateTimePicker2;
    QPushButton *FlatButton1;
    Timer *Timer1;

protected:
    void FormClose() override;
    void changeEvent(QEvent *event) override;

private:
    void showClock();
    void setClockRowShown(bool shown);

    // Set when a load failed and its error box is up: closing that box
    // activates this window again, and reloading then would only show the
    // same error once more, for ever.
    bool m_skipNextActivation = false;
};
