// tessivox-board [URI]: the exam office's status board for the centre's
// server, named by the URI or, as the rooms find it, by the settings.

#include "app/Application.h"
#include "data/ServerAddress.h"
#include "platform/Settings.h"
#include "ui/board/StatusBoard.h"

#include <QMessageBox>

int main(int argc, char **argv)
{
    Application app(argc, argv);
    app.setQuitOnLastWindowClosed(true);
    const Settings settings = Settings::read();
    const QStringList arguments = app.arguments();
    const QString server = arguments.size() > 1 ? arguments.at(1) : settings.database;
    if (!ServerAddress::isServer(server)) {
        QMessageBox::critical(nullptr, QStringLiteral("Tessivox"),
                              QStringLiteral("未设置考试中心的服务器：请在 %1 的 [database] "
                                             "中填写，或在命令行给出 postgresql://... 地址。")
                                  .arg(QString::fromLatin1(Settings::DefaultFile)));
        return 2;
    }
    StatusBoard board(server, settings.clockLimitMs);
    board.show();
    return app.exec();
}
