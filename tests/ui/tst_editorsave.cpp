#include "data/Session.h"
#include "support/OpenEditor.h"
#include "support/ShellFixture.h"

#include "ui/admin/TFrm_config.h"
#include "ui/admin/TFrm_sa.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSqlDatabase>
#include <QTest>
#include <QThread>
#include <QTimeEdit>
#include <QTreeWidget>

#ifdef Q_OS_LINUX
#include <sys/fsuid.h>
#include <unistd.h>
#endif

namespace {

const QString Subject = QStringLiteral("长表");
const QString Helper = qEnvironmentVariable("TESSIVOX_TEST_TOOLS") + "/editor_save_helper";
constexpr int OldRows = 3000;
constexpr int NewRows = 5000;

QStringList names(const QString &prefix, int count)
{
    QStringList result;
    for (int i = 0; i < count; ++i)
        result << QStringLiteral("%1-%2.wav").arg(prefix).arg(i);
    return result;
}

// Makes the program's connection read-only the way a write-protected file
// does. Root writes to any file, so root opens it with the file-system
// rights of nobody.
void openReadOnly(ShellFixture &f)
{
    const auto browsable = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                           QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther;
    QFile::setPermissions(f.db.dir(), browsable);
    QFile::setPermissions(f.db.dir() + "/data", browsable);
    QFile::setPermissions(f.db.path(), QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
#ifdef Q_OS_LINUX
    const bool root = geteuid() == 0;
    if (root)
        setfsuid(65534);
#endif
    f.data.use(TDataModule1::Access::Read, [](Session &) {});
#ifdef Q_OS_LINUX
    if (root)
        setfsuid(0);
#endif
}

// Waits, without taking the processor from the helper, for the rollback
// journal of its save to appear: the save's first write. False when the
// helper ended first.
bool waitForFirstWrite(const QString &database, const QProcess &helper)
{
    QElapsedTimer waited;
    waited.start();
    while (!QFileInfo::exists(database + "-journal")) {
        if (helper.state() == QProcess::NotRunning || waited.elapsed() > 60000)
            return false;
        QThread::usleep(100);
    }
    return true;
}

} // namespace

class TestEditorSave : public QObject
{
    Q_OBJECT

    std::unique_ptr<ShellFixture> f;
    qint64 m_saveMs = 0;

    // With their row ids: rows deleted and inserted again are not the same.
    QList<QStringList> allRows()
    {
        return f->db.rows(QStringLiteral("select rowid, * from sound"));
    }

    QStringList storedNames()
    {
        QStringList result;
        for (const QStringList &row :
             f->db.rows(QStringLiteral("select filename from sound where subjectname = ? "
                                       "order by rowid"),
                        {Subject}))
            result << row[0];
        return result;
    }

    void startHelper(QProcess &helper)
    {
        helper.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        helper.start(Helper, {f->db.path(), Subject, QString::number(NewRows)});
        QVERIFY2(helper.waitForStarted(), qPrintable(helper.errorString()));
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(QFile::exists(Helper), "TESSIVOX_TEST_TOOLS names no helper folder");
        // How long an undisturbed save takes from its first write on, to
        // spread the kills over the whole save, the commit included.
        init();
        QProcess helper;
        startHelper(helper);
        QVERIFY(waitForFirstWrite(f->db.path(), helper));
        QElapsedTimer saving;
        saving.start();
        QVERIFY(helper.waitForFinished(60000));
        m_saveMs = saving.elapsed();
        QCOMPARE(helper.exitCode(), 0);
        QCOMPARE(storedNames(), names("new", NewRows));
        qInfo("an undisturbed save of %d rows takes %lld ms", NewRows, m_saveMs);
        cleanup();
    }

    void init()
    {
        f = std::make_unique<ShellFixture>();
        f->db.addSubject(Subject, QStringLiteral("2026-06-07 09:00:00"),
                         QStringLiteral("2026-06-07 11:00:00"));
        f->db.addSound(QStringLiteral("其他"), QStringLiteral("other.wav"), QString(),
                       QStringLiteral("08:00:00"));
    }

    void cleanup()
    {
        f.reset();
        ShellFixture::settle();
    }

    void aFailedSaveChangesNothing_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("text");
        // What happened in the user's language, then the engine's own text.
        QTest::newRow("an insertion refused") << "refused"
                                              << "数据库操作失败。\nrefused: b.wav";
        QTest::newRow("locked by another writer")
            << "locked"
            << "数据库正被其他程序占用或服务器繁忙，请稍后再试。\ndatabase is locked";
        QTest::newRow("read-only file") << "read-only"
                                        << "数据库操作失败。\nattempt to write a readonly database";
    }

    void aFailedSaveChangesNothing()
    {
        QFETCH(QString, fault);
        QFETCH(QString, text);
        // The second of three insertions fails: a save that is not whole
        // would leave the first one stored.
        f->db.addSound(Subject, QStringLiteral("a.wav"), QString(), QStringLiteral("09:00:00"));
        f->db.addSound(Subject, QStringLiteral("b.wav"), QString(), QStringLiteral("09:30:00"));
        f->db.refuse(QStringLiteral("insert"), QStringLiteral("sound"),
                     QStringLiteral("refused: b.wav"), QStringLiteral("new.filename = 'b.wav'"));
        const QList<QStringList> before = allRows();
        if (fault == "read-only")
            openReadOnly(*f);
        QPointer<TFrm_config> editor = openEditor(f->shell, Subject);
        editor->Edt_path->setText(QStringLiteral("/x/c.wav"));
        QTest::mouseClick(editor->FBtn_add, Qt::LeftButton);
        if (fault == "locked")
            f->db.exec(QStringLiteral("begin immediate"));

        QTest::mouseClick(editor->FBtn_ok, Qt::LeftButton);
        QCOMPARE(f->boxes.texts(), QStringList{text});
        QCOMPARE(f->boxes.shown[0].icon, MessageBoxes::Icon::Error);
        QCOMPARE(f->boxes.shown[0].caption, QStringLiteral("Tessivox"));
        if (fault == "locked")
            f->db.exec(QStringLiteral("rollback"));
        QCOMPARE(allRows(), before);
        ShellFixture::settle();
        QVERIFY(editor);
        QCOMPARE(editor->ListView1->topLevelItemCount(), 3);
        QVERIFY(!f->shell.Frm_sa->isEnabled());
    }

    void aKilledSaveLosesNothing_data()
    {
        QTest::addColumn<double>("into");
        QTest::newRow("as the save begins") << 0.0;
        // The transaction takes about the first quarter of the span measured,
        // which goes on to the console's refresh and the helper's exit.
        for (double into : {0.05, 0.1, 0.15, 0.2, 0.25, 0.3, 0.6})
            QTest::addRow("%d%% into the save", int(into * 100)) << into;
    }

    void aKilledSaveLosesNothing()
    {
        QFETCH(double, into);
        f->db.exec(QStringLiteral("begin"));
        for (const QString &name : names("old", OldRows))
            f->db.addSound(Subject, name, QString(), QStringLiteral("09:00:00"));
        f->db.exec(QStringLiteral("commit"));
        const QStringList old = names("old", OldRows);

        QProcess helper;
        startHelper(helper);
        QVERIFY(waitForFirstWrite(f->db.path(), helper));
        QThread::usleep(qint64(into * m_saveMs * 1000));
        helper.kill();
        QVERIFY(helper.waitForFinished(60000));

        const QStringList stored = storedNames();
        QVERIFY2(stored == old || stored == names("new", NewRows),
                 qPrintable(
                     QStringLiteral("%1 rows, first %2").arg(stored.size()).arg(stored.value(0))));
        if (into == 0.0)
            QCOMPARE(stored, old);
        QCOMPARE(f->db.rows(QStringLiteral("select filename from sound where subjectname = ?"),
                            {QStringLiteral("其他")}),
                 QList<QStringList>{{QStringLiteral("other.wav")}});
    }
};

QTEST_MAIN(TestEditorSave)
#include "tst_editorsave.moc"
