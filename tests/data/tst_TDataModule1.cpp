#include "data/DbError.h"
#include "data/TDataModule1.h"
#include "schedule/ScheduleTables.h"
#include "schedule/Statements.h"
#include "support/Engines.h"
#include "support/TestDatabase.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTest>
#include <future>
#include <thread>

namespace {

QString readTitle(TDataModule1 &module)
{
    module.ADOQuery1.replace(Statements::selectTitle());
    module.ADOQuery1.open();
    return module.ADOQuery1.text("systitle");
}

void insertSound(TDataModule1 &module, const QString &file)
{
    module.ADOQuery11.replace(Statements::insertSound("s", file, {}, QTime(8, 0)));
    module.ADOQuery11.execute();
}

QString failureOf(const std::function<void()> &work)
{
    try {
        work();
    } catch (const DbError &error) {
        return error.text();
    }
    return {};
}

DbError::Kind kindOf(const std::function<void()> &work)
{
    try {
        work();
    } catch (const DbError &error) {
        return error.kind();
    }
    return DbError::Kind::Other;
}

// Replaces subject s's instructions with files, as the editor's save does.
void replaceSounds(TDataModule1 &module, const QStringList &files)
{
    ScheduleTables::transaction(module, [&] {
        module.ADOQuery11.replace(Statements::deleteSounds("s"));
        module.ADOQuery11.execute();
        for (const QString &file : files)
            insertSound(module, file);
    });
}

} // namespace

class tst_TDataModule1 : public QObject
{
    Q_OBJECT

private slots:
    void opensOnFirstStatementEvenThroughOddPaths()
    {
        SKIP_UNLESS_FILE();
        TestDatabase db("标题");
#ifdef Q_OS_WIN
        // Windows allows no '?' in a name; '#' and '%' still break a URI.
        const QString folder = db.dir() + "/exam #1 mode=ro 100% 考场";
#else
        const QString folder = db.dir() + "/exam #1?mode=ro 100% 考场";
#endif
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(QFile::copy(db.path(), folder + "/asdf.mdb"));
        TDataModule1 module(folder + "/asdf.mdb");
        QVERIFY(!module.isConnected());
        QCOMPARE(readTitle(module), QStringLiteral("标题"));
        QVERIFY(module.isConnected());
        insertSound(module, "written");
    }

    void defaultPathIsRelativeToWorkingDirectory()
    {
        SKIP_UNLESS_FILE();
        TestDatabase db("here");
        const QString previous = QDir::currentPath();
        QVERIFY(QDir::setCurrent(db.dir()));
        TDataModule1 module;
        const QString title = readTitle(module);
        QDir::setCurrent(previous);
        QCOMPARE(title, QStringLiteral("here"));
    }

    void unusableFiles_data()
    {
        QTest::addColumn<QByteArray>("contents");
        QTest::addColumn<QString>("error");
        QTest::newRow("missing") << QByteArray() << ": unable to open database file";
        QTest::newRow("garbage") << QByteArray(3000, 'x') << ": file is not a database";
    }
    void unusableFiles()
    {
        SKIP_UNLESS_FILE();
        QFETCH(QByteArray, contents);
        QFETCH(QString, error);
        TestDatabase db("later");
        const QString path = db.dir() + "/other.mdb";
        QFile file(path);
        if (!contents.isEmpty()) {
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(contents);
            file.close();
        }
        TDataModule1 module(path);
        QCOMPARE(failureOf([&] { readTitle(module); }), path + error);
        QVERIFY(!module.isConnected());
        // Nothing is created or changed.
        QCOMPARE(file.exists(), !contents.isEmpty());
        if (file.open(QIODevice::ReadOnly))
            QCOMPARE(file.readAll(), contents);
        file.close();

        // The next statement tries again.
        QVERIFY(file.remove() || contents.isEmpty());
        QVERIFY(QFile::copy(db.path(), path));
        QCOMPARE(readTitle(module), QStringLiteral("later"));
    }

    void databaseWithoutTables()
    {
        TestDatabase db({}, TestDatabase::Content::Nothing);
        TDataModule1 module(db.path());
        const QString failure = failureOf([&] { readTitle(module); });
        QVERIFY2(failure.contains(QStringLiteral("var")), qPrintable(failure));
    }

    void transactionRollsBack_data()
    {
        QTest::addColumn<bool>("statementFails");
        QTest::newRow("a statement fails") << true;
        QTest::newRow("the work throws") << false;
    }
    void transactionRollsBack()
    {
        QFETCH(bool, statementFails);
        TestDatabase db;
        db.addSound("s", "old", {}, QTime(8, 0));
        TDataModule1 module(db.path());
        auto work = [&] {
            module.ADOQuery11.replace(Statements::deleteSounds("s"));
            module.ADOQuery11.execute();
            insertSound(module, "new");
            if (statementFails)
                module.ADOQuery11.replace({"INSERT INTO nowhere VALUES (1)", {}});
            else
                throw std::runtime_error("stop");
            module.ADOQuery11.execute();
        };
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, ScheduleTables::transaction(module, work));
        QCOMPARE(db.rows("SELECT filename FROM sound"), QList<QStringList>({{"old"}}));

        // Nothing of the failed transaction stays open; the next one commits.
        ScheduleTables::transaction(module, [&] { insertSound(module, "next"); });
        QCOMPARE(db.rows("SELECT filename FROM sound"), QList<QStringList>({{"old"}, {"next"}}));
    }

    // Two administrators save the same subject's list at once, each on a
    // connection of its own: the first holds its transaction for a while.
    // The second waits for it; when the first is done within the write wait
    // the second replaces its list whole, otherwise the second is refused and
    // changes nothing. Never a mixture of both lists.
    void twoSavesOfOneSubjectNeverMix_data()
    {
        QTest::addColumn<int>("holdMs");
        QTest::addColumn<QStringList>("stored");
        QTest::newRow("the first is done in time") << 300 << QStringList{"b1", "b2"};
        QTest::newRow("the first takes too long") << 1600 << QStringList{"a1", "a2", "a3"};
    }
    void twoSavesOfOneSubjectNeverMix()
    {
        QFETCH(int, holdMs);
        QFETCH(QStringList, stored);
        TestDatabase db;
        db.addSound("s", "old", {}, QTime(8, 0));
        std::promise<void> started;
        std::string holderError;
        std::thread holder([&] {
            try {
                TDataModule1 module(db.path());
                ScheduleTables::transaction(module, [&] {
                    module.ADOQuery11.replace(Statements::deleteSounds("s"));
                    module.ADOQuery11.execute();
                    for (const char *file : {"a1", "a2", "a3"})
                        insertSound(module, file);
                    started.set_value();
                    std::this_thread::sleep_for(std::chrono::milliseconds(holdMs));
                });
            } catch (const std::exception &error) {
                holderError = error.what();
                started.set_value();
            }
        });
        started.get_future().wait();

        TDataModule1 module(db.path());
        const QString failure = failureOf([&] { replaceSounds(module, {"b1", "b2"}); });
        holder.join();

        QCOMPARE(holderError, std::string());
        QCOMPARE(failure.isEmpty(), stored.first() == "b1");
        QStringList files;
        for (const QStringList &row : db.rows("SELECT filename FROM sound ORDER BY rowid"))
            files.append(row.first());
        QCOMPARE(files, stored);
    }

    // What the user reads first says what happened; the engine's own text
    // follows on the second line.
    void failuresSayWhatHappened_data()
    {
        QTest::addColumn<QString>("location");
        QTest::addColumn<QString>("statement");
        QTest::addColumn<int>("kind");
        const auto kind = [](DbError::Kind k) { return int(k); };
        if (Engines::current() == Dialect::Engine::SQLite) {
            QTest::newRow("file missing") << "missing.mdb"
                                          << "" << kind(DbError::Kind::Missing);
            QTest::newRow("not a database") << "garbage.mdb"
                                            << "" << kind(DbError::Kind::NotTessivox);
        } else {
            QTest::newRow("no server at that socket")
                << "postgresql:///x?host=/nonexistent&port=5432&user=postgres"
                << "" << kind(DbError::Kind::Unreachable);
            QTest::newRow("no such database on the server")
                << Engines::serverUri("no_such_database") << "" << kind(DbError::Kind::Refused);
            QTest::newRow("no such user on the server")
                << Engines::serverUri("postgres").replace("user=postgres", "user=nobody") << ""
                << kind(DbError::Kind::Refused);
        }
        QTest::newRow("no such table") << ""
                                       << "drop table var" << kind(DbError::Kind::NotTessivox);
        QTest::newRow("held by another program") << ""
                                                 << "lock" << kind(DbError::Kind::Busy);
    }
    void failuresSayWhatHappened()
    {
        QFETCH(QString, location);
        QFETCH(QString, statement);
        QFETCH(int, kind);
        TestDatabase db("标题");
        QFile garbage(db.dir() + "/garbage.mdb");
        QVERIFY(garbage.open(QIODevice::WriteOnly) && garbage.write(QByteArray(3000, 'x')));
        garbage.close();
        if (statement == "lock")
            db.lockExclusively();
        else if (!statement.isEmpty())
            db.exec(statement);
        TDataModule1 module(location.isEmpty()                ? db.path()
                            : location.startsWith("postgres") ? location
                                                              : db.dir() + "/" + location,
                            TDataModule1::Mode::ReadWrite, db.dataFolder());
        try {
            readTitle(module);
            QFAIL("the title was read");
        } catch (const DbError &error) {
            const QStringList lines = QString::fromUtf8(error.what()).split('\n');
            QCOMPARE(lines.size(), 2);
            QCOMPARE(lines[0], DbError::explanation(DbError::Kind(kind)));
            QCOMPARE(lines[1], error.text());
            QVERIFY(!error.text().isEmpty());
        }
        if (statement == "lock")
            db.unlock();
    }

    void anotherProgramsLockFailsSoon_data()
    {
        QTest::addColumn<QString>("held");
        QTest::addColumn<QString>("action");
        QTest::addColumn<bool>("fails");
        QTest::newRow("read, locked exclusively") << "exclusive"
                                                  << "read" << true;
        QTest::newRow("read while another writes") << "writing"
                                                   << "read" << false;
        QTest::newRow("write while another writes") << "writing"
                                                    << "write" << true;
        QTest::newRow("transaction while another writes") << "writing"
                                                          << "transaction" << true;
    }
    void anotherProgramsLockFailsSoon()
    {
        QFETCH(QString, held);
        QFETCH(QString, action);
        QFETCH(bool, fails);
        TestDatabase db("标题");
        TDataModule1 module(db.path());
        QCOMPARE(readTitle(module), QStringLiteral("标题"));
        const std::function<void()> act = [&] {
            if (action == "read")
                QCOMPARE(readTitle(module), QStringLiteral("标题"));
            else if (action == "write")
                insertSound(module, "mine");
            else
                ScheduleTables::transaction(module, [&] { insertSound(module, "mine"); });
        };

        if (held == "exclusive")
            db.lockExclusively();
        else
            db.lockForWriting();
        QElapsedTimer waited;
        waited.start();
        const DbError::Kind failure = kindOf(act);
        // Far below the seconds a window would otherwise stand frozen.
        QVERIFY2(waited.elapsed() < 3000, qPrintable(QString::number(waited.elapsed())));
        QCOMPARE(failure == DbError::Kind::Busy, fails);
        db.unlock();

        // Once the other program lets go, the same statement goes through.
        QCOMPARE(failureOf(act), QString());
    }
};

TESSIVOX_TEST_EACH_ENGINE(tst_TDataModule1, QCoreApplication)
#include "tst_TDataModule1.moc"
