#include "data/DbError.h"
#include "data/Statements.h"
#include "data/TDataModule1.h"
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

} // namespace

class tst_TDataModule1 : public QObject
{
    Q_OBJECT

private slots:
    void opensOnFirstStatementEvenThroughOddPaths()
    {
        TestDatabase db("标题");
        const QString folder = db.dir() + "/exam #1?mode=ro 100% 考场";
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
        QCOMPARE(failureOf([&] { readTitle(module); }), QStringLiteral("no such table: var"));
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
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, module.transaction(work));
        QCOMPARE(db.rows("SELECT filename FROM sound"), QList<QStringList>({{"old"}}));

        // Nothing of the failed transaction stays open; the next one commits.
        module.transaction([&] { insertSound(module, "next"); });
        QCOMPARE(db.rows("SELECT filename FROM sound"), QList<QStringList>({{"old"}, {"next"}}));
    }

    void writerWaitsForAnotherWriter()
    {
        TestDatabase db;
        std::promise<void> locked;
        std::string holderError;
        std::thread holder([&] {
            try {
                TDataModule1 module(db.path());
                module.transaction([&] {
                    insertSound(module, "first");
                    locked.set_value();
                    std::this_thread::sleep_for(std::chrono::milliseconds(500));
                });
            } catch (const std::exception &error) {
                holderError = error.what();
                locked.set_value();
            }
        });
        locked.get_future().wait();

        TDataModule1 module(db.path());
        QElapsedTimer waited;
        waited.start();
        const QString failure = failureOf([&] { insertSound(module, "second"); });
        const qint64 elapsed = waited.elapsed();
        holder.join();

        QCOMPARE(holderError, std::string());
        QCOMPARE(failure, QString());
        QVERIFY2(elapsed >= 300, qPrintable(QString::number(elapsed)));
        QCOMPARE(db.rows("SELECT filename FROM sound"),
                 QList<QStringList>({{"first"}, {"second"}}));
    }

    void anotherProgramsLockFailsSoon_data()
    {
        QTest::addColumn<QString>("held");
        QTest::addColumn<QString>("action");
        QTest::addColumn<bool>("fails");
        QTest::newRow("read, file locked exclusively") << "BEGIN EXCLUSIVE"
                                                       << "read" << true;
        QTest::newRow("read while another writes") << "BEGIN IMMEDIATE"
                                                   << "read" << false;
        QTest::newRow("write while another writes") << "BEGIN IMMEDIATE"
                                                    << "write" << true;
        QTest::newRow("transaction while another writes") << "BEGIN IMMEDIATE"
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
                module.transaction([&] { insertSound(module, "mine"); });
        };

        db.exec(held);
        QElapsedTimer waited;
        waited.start();
        const QString failure = failureOf(act);
        // Far below the seconds a window would otherwise stand frozen.
        QVERIFY2(waited.elapsed() < 3000, qPrintable(QString::number(waited.elapsed())));
        QCOMPARE(failure, fails ? QStringLiteral("database is locked") : QString());
        db.exec("ROLLBACK");

        // Once the other program lets go, the same statement goes through.
        QCOMPARE(failureOf(act), QString());
    }
};

QTEST_GUILESS_MAIN(tst_TDataModule1)
#include "tst_TDataModule1.moc"
