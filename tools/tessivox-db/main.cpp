#include "DatabaseTool.h"

#include <QCoreApplication>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    return DatabaseTool(out, err).run(app.arguments().mid(1));
}
