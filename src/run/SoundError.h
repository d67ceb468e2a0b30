#pragma once

#include <QString>
#include <stdexcept>

// A sound device operation that failed. Carries a text that names the cause
// (and the file, where there is one) for whoever reports it.
class SoundError : public std::runtime_error
{
public:
    explicit SoundError(const QString &text) : std::runtime_error(text.toStdString()) {}
    QString text() const { return QString::fromStdString(what()); }
};
