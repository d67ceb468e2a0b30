#include "data/DbError.h"
#include "data/ServerAddress.h"
#include "data/TDataModule1.h"
#include "schedule/LocalCopy.h"
#include "schedule/Statements.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

// The copy as the room writes it after a reading of the server, without
// the server: each new copy replaces the one before.
class TestLocalCopy : public QObject
{
    Q_OBJECT

private slots:
    void eachCopyReplacesTheOneBefore_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::newRow("plain folder") << QStringLiteral("data");
        // Outside the code page of a Western Windows: the rename must not
        // pass through it.
        QTest::newRow("folder with a Chinese name") << QStringLiteral("考场 程序/data");
    }
    void eachCopyReplacesTheOneBefore()
    {
        QFETCH(QString, folder);
        QTemporaryDir dir;
        const QString path = dir.filePath(folder + QStringLiteral("/local-copy.mdb"));
        const QString uri = QStringLiteral("postgresql://centre:5432/exams");
        const auto copyTitled = [](const QString &title) {
            LocalCopy::Content content;
            content.var = {{1, title}};
            content.test = {{QStringLiteral("语文"), QStringLiteral("2026-06-07 09:00:00"),
                             QStringLiteral("2026-06-07 11:00:00")}};
            return content;
        };
        for (const QString &title : {QStringLiteral("first"), QStringLiteral("second")}) {
            try {
                LocalCopy::write(copyTitled(title), ServerAddress::origin(uri), path);
            } catch (const DbError &error) {
                QFAIL(error.what());
            }
        }

        QVERIFY(LocalCopy(uri, path).isUsable());
        TDataModule1 module(path, TDataModule1::Mode::ReadOnly);
        module.ADOQuery1.replace(Statements::selectTitle());
        module.ADOQuery1.open();
        QCOMPARE(module.ADOQuery1.text("systitle"), QStringLiteral("second"));
        // Nothing is left beside it.
        QCOMPARE(QDir(QFileInfo(path).absolutePath()).entryList(QDir::Files),
                 QStringList{QStringLiteral("local-copy.mdb")});
    }
};

QTEST_GUILESS_MAIN(TestLocalCopy)
#include "tst_localcopy.moc"
