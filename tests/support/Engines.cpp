#include "Engines.h"

#include <QCoreApplication>
#include <QObject>
#include <QTest>
#include <QUrlQuery>

namespace {

Dialect::Engine currentEngine = Dialect::Engine::SQLite;

} // namespace

namespace Engines {

Dialect::Engine current()
{
    return currentEngine;
}

QString name(Dialect::Engine engine)
{
    return engine == Dialect::Engine::SQLite ? QStringLiteral("SQLite")
                                             : QStringLiteral("PostgreSQL");
}

QString serverUri(const QString &database)
{
    const QString socket = qEnvironmentVariable("TESSIVOX_TEST_POSTGRES");
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("host"), socket);
    query.addQueryItem(QStringLiteral("port"), QStringLiteral("5432"));
    query.addQueryItem(QStringLiteral("user"), QStringLiteral("postgres"));
    return QStringLiteral("postgresql:///") + database + QLatin1Char('?') +
           query.toString(QUrl::FullyEncoded);
}

int runEach(QObject &test, int argc, char **argv)
{
    int failures = 0;
    for (const Dialect::Engine engine : {Dialect::Engine::SQLite, Dialect::Engine::PostgreSQL}) {
        if (engine == Dialect::Engine::PostgreSQL &&
            qEnvironmentVariableIsEmpty("TESSIVOX_TEST_POSTGRES")) {
            if (qEnvironmentVariableIsSet("TESSIVOX_TEST_SQLITE_ONLY"))
                break;
            qCritical("TESSIVOX_TEST_POSTGRES names no test server; run through ctest");
            return failures + 1;
        }
        currentEngine = engine;
        qInfo("*** %s ***", qPrintable(name(engine)));
        failures += QTest::qExec(&test, argc, argv);
    }
    return failures;
}

} // namespace Engines
