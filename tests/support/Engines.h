#pragma once

#include "data/Dialect.h"

#include <QString>

class QObject;

// The one table of database engines the data tests run against: every test
// function of a test object runs once per engine, SQLite first, then
// PostgreSQL on the tests' private server (TESSIVOX_TEST_POSTGRES, the
// folder of its socket). Without that server the PostgreSQL round fails,
// unless TESSIVOX_TEST_SQLITE_ONLY is set.
namespace Engines {

// The engine of the round that runs now.
Dialect::Engine current();
QString name(Dialect::Engine engine);
// The URI of a database on the test server.
QString serverUri(const QString &database);

// Runs test once per engine; returns the number of failures, as qExec does.
int runEach(QObject &test, int argc, char **argv);

} // namespace Engines

// A test's main(): the application object, then the test object once per
// engine.
#define TESSIVOX_TEST_EACH_ENGINE(Class, Application)                                              \
    int main(int argc, char **argv)                                                                \
    {                                                                                              \
        Application app(argc, argv);                                                               \
        app.setAttribute(Qt::AA_Use96Dpi, true);                                                   \
        Class test;                                                                                \
        return Engines::runEach(test, argc, argv);                                                 \
    }

// In a test function: the rest concerns a database file, which a server has
// no counterpart of.
#define SKIP_UNLESS_FILE()                                                                         \
    do {                                                                                           \
        if (Engines::current() != Dialect::Engine::SQLite)                                         \
            QSKIP("a database file's own behaviour");                                              \
    } while (false)
