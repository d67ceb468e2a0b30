#include "DatabaseTool.h"

#include "platform/SystemClockHealth.h"

#include <QCoreApplication>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    const SystemClockHealth clockHealth;
    return DatabaseTool(out, err, &clockHealth).run(app.arguments().mid(1));
}
