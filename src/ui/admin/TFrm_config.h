#pragma once

#include "app/Form.h"

#include <QHash>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTimeEdit;
class QTreeWidget;
class QTreeWidgetItem;

// The editor of one subject's instruction list. Adding, changing and
// deleting touch only the list on screen; "完成" replaces the subject's
// stored rows with it as a whole.
class TFrm_config final : public Form
{
    Q_OBJECT

public:
    explicit TFrm_config(Shell &shell);

    void FormCreate() override;
    void FBtn_browseClick();
    void FBtn_addClick();
    void ListView1Click();
    void FlatButton1Click();
    void FlatButton2Click();
    void FBtn_okClick();
    void Fbtn_quitClick();

    QTreeWidget *ListView1;
    QLabel *Label2;
    QLineEdit *Edt_path;
    QPushButton *FBtn_browse;
    QLabel *Lbl_exp;
    QPlainTextEdit *Memo1;
    QPushButton *FlatButton1;
    QPushButton *FlatButton2;
    QLabel *Label1;
    QTimeEdit *DateTimePicker1;
    QPushButton *FBtn_add;
    QPushButton *FBtn_ok;
    QPushButton *Fbtn_quit;

protected:
    void FormClose() override;
    QPushButton *mainButton() const override { return FBtn_add; }
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QString subject() const;
    // The folder the run plays sound files from.
    QString soundFolder() const;
    QTreeWidgetItem *selectedRow() const;
    // The file-name part of Edt_path and the memo's lines joined by CR LF.
    QString fileName() const;
    QString explanation() const;
    void enableRowButtons(bool enabled);
    void refreshlistview_subject();
    // On a server: the recordings the list names that the server lacks or
    // that were chosen anew, stored before the list. False when that failed
    // or was cancelled, which has been said.
    bool storeSounds();
    // A server that keeps the recordings; never a database file.
    bool serverKeepsSounds();
    // Before a chosen file replaces the server's of the same name.
    void warnIfShared(const QString &name, const QString &path);

    // The file the open dialog last gave, which it offers again after Cancel.
    QString m_dialogFile;
    // On a server: the files chosen with "浏览", by name, to be stored.
    QHash<QString, QString> m_chosen;
};
