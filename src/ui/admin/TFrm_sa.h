#pragma once

#include "app/Form.h"

struct Instruction;
class QDateEdit;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTimeEdit;
class QTreeWidget;
class Timer;
class TxpPageControl;
class TxpTabSheet;

// The administrator console: four tab pages (the computer's clock, the
// system title, editing subjects, adding a subject), each with its own way
// out.
class TFrm_sa final : public Form
{
    Q_OBJECT

public:
    explicit TFrm_sa(Shell &shell);

    void FormCreate() override;
    void Timer1Timer();
    void PageControl1Change();
    void TabSheet2Show();
    void FBtn_ok1Click();
    void oClick();
    void Fbtn_repeat2Click();
    void Listbox_subjectClick();
    void FlatButton1Click();
    void Fbtn_enterClick();
    void Button1Click();
    void FBtn_okClick();
    void FlatButton2Click();
    // The common exit of the four "退出" buttons and the close box.
    void ButtonExitClick();

    // The name of the chosen subject, empty when none is chosen.
    QString selectedSubject() const;
    // Fills the subject-editing page's instruction list.
    void showInstructions(const QList<Instruction> &instructions);

    TxpPageControl *PageControl1;
    TxpTabSheet *TabSheet1;
    TxpTabSheet *TabSheet2;
    TxpTabSheet *TabSheet3;
    TxpTabSheet *TabSheet4;

    QGroupBox *GroupBox1;
    QLabel *Label2;
    QLabel *Label1;
    QDateEdit *DateTimePicker3;
    QTimeEdit *DateTimePicker4;
    QPushButton *FBtn_ok1;
    QPushButton *Button2;

    QGroupBox *GroupBox2;
    QLabel *Lbl_systemname;
    QLineEdit *Edt_name;
    QPushButton *o;
    QPushButton *Fbtn_repeat2;
    QPushButton *Button3;

    QLabel *Label8;
    QListWidget *Listbox_subject;
    QLabel *Label9;
    QDateEdit *DateTimePickerStartdate;
    QTimeEdit *DateTimePickerStarttime;
    QLabel *Label4;
    QDateEdit *DateTimePickerEnddate;
    QTimeEdit *DateTimePickerEndtime;
    QPushButton *FlatButton1;
    QTreeWidget *ListView1;
    QPushButton *Fbtn_enter;
    QPushButton *Button1;
    QPushButton *Button4;

    QGroupBox *GroupBox3;
    QLabel *Label14;
    QLineEdit *Edt_subjectname;
    QLabel *Label6;
    QDateEdit *DateTimePicker1;
    QTimeEdit *DateTimePicker2;
    QLabel *Label3;
    QDateEdit *DateTimePicker5;
    QTimeEdit *DateTimePicker6;
    QPushButton *FBtn_ok;
    QPushButton *FlatButton2;
    QPushButton *Button5;

    Timer *Timer1;

protected:
    void FormClose() override;
    // The page's own: "设置", "修改", "进入指令设置" or "增加".
    QPushButton *mainButton() const override;

private:
    // Each input's own name for a screen reader, told apart from its twin
    // on the other subject page.
    void nameInputs();
    void showClock();
    bool hasSubject() const;
    void reloadSubjects();
    // The controls that act on the chosen subject.
    void enableSubjectControls(bool enabled);

    // The chosen subject's stored start or end could not be read, and the
    // user has not set it since.
    bool m_startUnread = false;
    bool m_endUnread = false;
};
