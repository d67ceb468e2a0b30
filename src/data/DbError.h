#pragma once

#include <QString>
#include <stdexcept>

// A failed statement or connection. Carries the engine's own text, which the
// general error handler shows to the user unchanged.
class DbError : public std::runtime_error
{
public:
    explicit DbError(const QString &text) : std::runtime_error(text.toStdString()) {}
    QString text() const { return QString::fromStdString(what()); }
};
