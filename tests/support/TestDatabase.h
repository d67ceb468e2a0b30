#pragma once

#include "data/Dialect.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QTemporaryDir>
#include <QTime>
#include <QVariantList>

// A real database of the engine whose round runs (Engines::current()): a
// file in a temporary folder, laid out as the program finds it,
// <dir>/data/asdf.mdb, or a database of its own on the tests' PostgreSQL
// server, dropped at the end (dir() is then the PC's folder, data/ in it).
// path() is what the program is given: the file or the server's URI. A test
// may make dir() the working directory and use TDataModule1's default path.
// Rows go in as raw text, so a test can also store forms the program itself
// never writes. Failures abort the test program (qFatal): a broken fixture
// must not pass for a finding.
class TestDatabase final
{
public:
    enum class Content
    {
        Tables,
        Nothing
    };

    explicit TestDatabase(const QString &title = QStringLiteral("Tessivox"),
                          Content content = Content::Tables);
    TestDatabase(Dialect::Engine engine, const QString &title = QStringLiteral("Tessivox"),
                 Content content = Content::Tables);
    ~TestDatabase();
    Q_DISABLE_COPY_MOVE(TestDatabase)

    QString dir() const { return m_dir.path(); }
    QString path() const { return m_path; }
    Dialect::Engine engine() const { return m_engine; }
    bool isServer() const { return m_engine == Dialect::Engine::PostgreSQL; }
    // The folder of the PC's own files (run log, local copy): <dir>/data.
    QString dataFolder() const;

    // Another program's transaction, as the engine knows them: one that
    // keeps every other connection out, even readers, or one that keeps out
    // only other writers. unlock() ends it.
    void lockExclusively();
    void lockForWriting();
    void unlock();
    // Makes the engine refuse, with message, every insertion into or
    // deletion from ("insert", "delete") table, or only those of rows for
    // which condition (on new.column or old.column) holds.
    void refuse(const QString &event, const QString &table, const QString &message,
                const QString &condition = QStringLiteral("true"));

    // Closes the fixture's own connection, so that the file may be removed
    // or renamed (Windows does neither to an open file); the next statement
    // opens it again.
    void close();

    void exec(const QString &sql, const QVariantList &values = {});
    // The rows of a query, each column as text (NULL as a null QString).
    QList<QStringList> rows(const QString &sql, const QVariantList &values = {});

    void addTitle(int id, const QString &title);
    void addSubject(const QString &subject, const QString &start, const QString &end);
    void addSubject(const QString &subject, const QDateTime &start, const QDateTime &end);
    void addSound(const QString &subject, const QString &filename, const QString &explain,
                  const QString &playtime);
    void addSound(const QString &subject, const QString &filename, const QString &explain,
                  const QTime &playtime);

private:
    Dialect::Engine m_engine;
    QTemporaryDir m_dir;
    QString m_database;
    QString m_path;
    QString m_connectionName;
};
