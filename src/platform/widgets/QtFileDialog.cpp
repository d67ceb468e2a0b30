#include "platform/widgets/QtFileDialog.h"

#include <QFileDialog>

QString QtFileDialog::openFileName(QWidget *owner, const QString &caption, const QString &folder,
                                   const QString &filter)
{
    return QFileDialog::getOpenFileName(owner, caption, folder, filter);
}
