#pragma once

#include "data/Statement.h"

#include <QDateTime>
#include <QList>
#include <QSqlRecord>
#include <QString>
#include <QTime>

class QSqlDatabase;
class QSqlQuery;
class Session;
class TDataModule1;

// A query object: one statement at a time and, once opened, its whole
// result with a row cursor. The result is read into memory when opened; the
// tables are small and the cursor must stay valid for a run's whole life.
//
// Cursor rules: after open() the cursor stands on the first row (if any).
// next() on the last row sets eof() and stays there; next() with eof() set
// does nothing. prior() moves back one row and clears eof(); on the first
// row it stays and clears eof().
//
// A statement once prepared stays prepared on its connection (Session):
// running the same text again, with other values, prepares nothing, which
// is what makes reading or storing thousands of rows quick.
class Query final
{
public:
    explicit Query(TDataModule1 &module);
    ~Query();
    Q_DISABLE_COPY_MOVE(Query)

    // Close, clear the old statement and take this one as the only one.
    void replace(const Statement &statement);
    // Run the statement and keep its rows. Throws DbError.
    void open();
    // Run a statement that yields no rows; returns how many rows it changed.
    // Throws DbError.
    int execute();
    // Replace and execute each statement in turn. Throws DbError at the first
    // failing statement; the ones before it stay done.
    void executeAll(const QList<Statement> &statements);
    // Exchanges the two objects' results and cursors; the statements stay.
    void swapResult(Query &other);
    // Discard any open result.
    void close();

    // Runs one statement on db, outside any query object. Throws DbError.
    static QSqlQuery run(const QSqlDatabase &db, const Statement &statement);

    bool isOpen() const { return m_open; }
    const Statement &statement() const { return m_statement; }

    int recordCount() const { return int(m_rows.size()); }
    void first();
    void next();
    void prior();
    bool eof() const { return m_eof; }
    int row() const { return m_row; }

    // A column of the current row by name. NULL, a missing row or an empty
    // result read as empty text / invalid values.
    QString text(const QString &column) const;
    QDateTime dateTime(const QString &column) const;
    QTime time(const QString &column) const;

private:
    // Runs the statement on its prepared query; the caller reads the
    // result, then finishes it.
    QSqlQuery &executed(Session &session) const;
    // Runs the statement and returns its rows. Throws DbError.
    QList<QSqlRecord> read(Session &session) const;

    TDataModule1 &m_module;
    Statement m_statement;
    QList<QSqlRecord> m_rows;
    int m_row = 0;
    bool m_eof = true;
    bool m_open = false;
};
