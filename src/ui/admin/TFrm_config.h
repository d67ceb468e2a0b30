#pragma once

#include "app/Form.h"

class QPushButton;
class QTreeWidget;

// The editor of one subject's instruction list.
class TFrm_config final : public Form
{
    Q_OBJECT

public:
    explicit TFrm_config(Shell &shell);

    void FormCreate() override;
    void FBtn_okClick();
    void Fbtn_quitClick();

    QTreeWidget *ListView1;
    QPushButton *FBtn_ok;
    QPushButton *Fbtn_quit;

protected:
    void FormClose() override;

private:
    QString subject() const;
    void refreshlistview_subject();
};
