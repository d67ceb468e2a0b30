#include "platform/widgets/QtMessageBoxes.h"

#include <QApplication>
#include <QGridLayout>
#include <QMessageBox>
#include <QPointer>

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

// A box sizes itself to its text alone: a short text leaves the title bar
// too narrow for the caption, which a window manager then cuts to "T…".
void makeRoomForCaption(QMessageBox &box, const QString &caption)
{
    auto *grid = qobject_cast<QGridLayout *>(box.layout());
    if (!grid)
        return;
    // The caption, with room for the title bar's icon and buttons.
    const int width = box.fontMetrics().horizontalAdvance(caption) * 3 / 2 + 160;
    grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Fixed),
                  grid->rowCount(), 0, 1, grid->columnCount());
}

} // namespace

MessageBoxes::Answer QtMessageBoxes::show(QWidget *owner, const QString &text,
                                          const QString &caption, Buttons buttons, Icon icon)
{
    QPointer<QWidget> beneath = QApplication::activeWindow();
    // A window still being created is not on screen yet: the box would
    // stand in a corner instead of over the window the user sees.
    if (owner && !owner->isVisible())
        owner = QApplication::activeWindow();
    QMessageBox box(toQt(icon), caption, text,
                    buttons == Buttons::OkCancel ? QMessageBox::Ok | QMessageBox::Cancel
                                                 : QMessageBox::Ok,
                    owner);
    // Owned by a hidden or disabled window, a box would still have to be
    // seen and answered.
    box.setWindowModality(Qt::ApplicationModal);
    makeRoomForCaption(box, caption);
    const Answer answer = box.exec() == QMessageBox::Ok ? Answer::Ok : Answer::Cancel;
    // A desktop gives the input back to the window beneath a closed box;
    // without a window manager nothing does, and that window would never
    // learn that the input returned to it.
    if (beneath && beneath->isVisible() && !QApplication::activeWindow())
        beneath->activateWindow();
    return answer;
}

void QtMessageBoxes::notice(QWidget *owner, const QString &text)
{
    static const QString Name = QStringLiteral("notice");
    QMessageBox *box = nullptr;
    // A box closed a moment ago is still a child until its deletion runs.
    for (QMessageBox *open : owner->findChildren<QMessageBox *>(Name, Qt::FindDirectChildrenOnly)) {
        if (open->isVisible())
            box = open;
    }
    if (!box) {
        box = new QMessageBox(QMessageBox::NoIcon, QStringLiteral("Tessivox"), text,
                              QMessageBox::Ok, owner);
        box->setObjectName(Name);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setWindowModality(Qt::NonModal);
        makeRoomForCaption(*box, box->windowTitle());
    }
    box->setText(text);
    box->show();
    box->raise();
}
