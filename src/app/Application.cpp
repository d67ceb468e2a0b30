#include "app/Application.h"

#include "app/ErrorHandler.h"
#include "ui/common/Fonts.h"

#include <QFont>
#include <QLibraryInfo>
#include <QTranslator>

namespace {

// Qt's own texts (standard buttons, dialogs) in the user's language; the
// program's own texts are written in the language they are shown in.
void installQtTranslations(QCoreApplication &app)
{
    auto *translator = new QTranslator(&app);
    if (translator->load(QLocale(), QStringLiteral("qtbase"), QStringLiteral("_"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(translator);
    else
        delete translator;
}

// Painting through shared memory makes the X server answer every repaint
// with an event of its own: with the clocks turning each second, the X
// event thread and then the windows' thread would wake twice more a second
// for nothing. The program's repaints are a few digits, which the socket
// carries as cheaply. Read by the platform plugin as the application is
// made, so set before; a setting of the user's own stands.
int &withoutSharedMemoryPainting(int &argc)
{
    if (!qEnvironmentVariableIsSet("QT_XCB_NO_MITSHM"))
        qputenv("QT_XCB_NO_MITSHM", "1");
    return argc;
}

} // namespace

Application::Application(int &argc, char **argv)
    : QApplication(withoutSharedMemoryPainting(argc), argv)
{
    setApplicationName(QStringLiteral("Tessivox"));
    // Every window is a top-level window of its own; only the main window
    // ends the program.
    setQuitOnLastWindowClosed(false);
    installQtTranslations(*this);
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
