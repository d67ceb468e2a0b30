#pragma once

#include "app/Form.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTreeWidget;
class Timer;

// The window in which one exam is run: the subject, its start and end, the
// live clock, and the instruction that plays or comes next.
class TFrm_Subject final : public Form
{
    Q_OBJECT

public:
    explicit TFrm_Subject(Shell &shell);
    ~TFrm_Subject() override;

    void FormCreate() override;
    void Timer2Timer();
    void FlatButton1Click();
    void Fbtn_quitClick();

    QGroupBox *GroupBox1;
    QLabel *Lbl_Sub;
    QLabel *Lbl_Name;
    QLabel *Lbl_Start;
    QLabel *Lbl_Starttime;
    QLabel *Lbl_End;
    QLabel *Lbl_Endtime;
    QLabel *Lbl_Systemtime;
    QLabel *Label1;
    QLabel *Label3;
    QLineEdit *edittime;
    QPlainTextEdit *Memo_content;
    QPushButton *Fbtn_quit;
    QPushButton *FlatButton1;
    QTreeWidget *ListView1;
    QLabel *Label4;
    QLabel *label6;
    QLabel *Label5;
    Timer *Timer1;
    Timer *Timer2;
    Timer *Timer3;

protected:
    void FormClose() override;

private:
    void showClock();
    void endRun();

    QString m_subject;
};
