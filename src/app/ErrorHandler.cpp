#include "app/ErrorHandler.h"

#include "platform/MessageBoxes.h"

#include <QApplication>
#include <QString>

void ErrorHandler::report(const std::exception &error)
{
    m_boxes.show(QApplication::activeWindow(), QString::fromUtf8(error.what()),
                 QStringLiteral("Tessivox"), MessageBoxes::Buttons::Ok, MessageBoxes::Icon::Error);
}
