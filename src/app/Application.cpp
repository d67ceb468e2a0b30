#include "app/Application.h"

#include "app/ErrorHandler.h"
#include "ui/common/Fonts.h"

#include <QFont>

Application::Application(int &argc, char **argv) : QApplication(argc, argv)
{
    setApplicationName(QStringLiteral("Tessivox"));
    // Every window is a top-level window of its own; only the main window
    // ends the program.
    setQuitOnLastWindowClosed(false);
    // Without an explicit Simplified Chinese face, Chinese text falls back
    // to a Japanese one under most locales.
    const QString family =
        Fonts::firstInstalled({QStringLiteral("Noto Sans CJK SC"),
                               QStringLiteral("Microsoft YaHei"), QStringLiteral("SimSun")});
    if (!family.isEmpty()) {
        QFont face = font();
        face.setFamily(family);
        setFont(face);
    }
}

bool Application::notify(QObject *receiver, QEvent *event)
{
    if (!m_errors)
        return QApplication::notify(receiver, event);
    bool result = false;
    m_errors->guard([&] { result = QApplication::notify(receiver, event); });
    return result;
}
