#pragma once

#include <QSqlError>
#include <QString>
#include <stdexcept>

// A failed statement or connection. Carries the engine's own text, which the
// general error handler shows to the user unchanged.
class DbError : public std::runtime_error
{
public:
    explicit DbError(const QString &text) : std::runtime_error(text.toStdString()) {}
    QString text() const { return QString::fromStdString(what()); }

    // The engine's message without the driver's generic addition ("Unable to
    // execute statement"), prefixed with what it concerns, e.g. the file.
    static DbError fromSql(const QSqlError &error, const QString &concerning = {})
    {
        const QString engine = error.databaseText().isEmpty() ? error.text() : error.databaseText();
        return DbError(concerning.isEmpty() ? engine : concerning + QStringLiteral(": ") + engine);
    }
};
