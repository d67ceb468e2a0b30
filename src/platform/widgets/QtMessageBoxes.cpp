#include "platform/widgets/QtMessageBoxes.h"

#include <QMessageBox>

namespace {

QMessageBox::Icon toQt(MessageBoxes::Icon icon)
{
    switch (icon) {
    case MessageBoxes::Icon::Information:
        return QMessageBox::Information;
    case MessageBoxes::Icon::Warning:
        return QMessageBox::Warning;
    case MessageBoxes::Icon::Error:
        return QMessageBox::Critical;
    case MessageBoxes::Icon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

} // namespace

MessageBoxes::Answer QtMessageBoxes::show(QWidget *owner, const QString &text,
                                          const QString &caption, Buttons buttons, Icon icon)
{
    QMessageBox box(toQt(icon), caption, text,
                    buttons == Buttons::OkCancel ? QMessageBox::Ok | QMessageBox::Cancel
                                                 : QMessageBox::Ok,
                    owner);
    // Owned by a hidden or disabled window, a box would still have to be
    // seen and answered.
    box.setWindowModality(Qt::ApplicationModal);
    return box.exec() == QMessageBox::Ok ? Answer::Ok : Answer::Cancel;
}
