#pragma once

#include "app/Form.h"

class QListWidget;
class QPushButton;
class QTabWidget;
class QTreeWidget;
class QWidget;
class Timer;

// The administrator console: four tab pages (clock, title, subject editing,
// new subject), each with its own way out.
class TFrm_sa final : public Form
{
    Q_OBJECT

public:
    explicit TFrm_sa(Shell &shell);

    void FormCreate() override;
    void PageControl1Change();
    void Listbox_subjectClick();
    void Fbtn_enterClick();
    void ButtonExitClick();

    // The name of the chosen subject, empty when none is chosen.
    QString selectedSubject() const;
    // Fills the subject-editing page's instruction list from the query's
    // rows.
    void showInstructions(class Query &rows);

    QTabWidget *PageControl1;
    QWidget *TabSheet1;
    QWidget *TabSheet2;
    QWidget *TabSheet3;
    QWidget *TabSheet4;
    QListWidget *Listbox_subject;
    QTreeWidget *ListView1;
    QPushButton *Fbtn_enter;
    QPushButton *Button2;
    QPushButton *Button3;
    QPushButton *Button4;
    QPushButton *Button5;
    Timer *Timer1;

protected:
    void FormClose() override;

private:
    void loadSubjects();
};
