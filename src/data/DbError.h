#pragma once

#include <QSqlError>
#include <QString>
#include <stdexcept>

// A failed statement or connection. what() is what the user reads: what
// happened, in the program's language, then the engine's own text on a
// second line for whoever mends it; text() is the engine's text alone.
class DbError : public std::runtime_error
{
public:
    // What happened, as far as the user can act on it.
    enum class Kind
    {
        Other,
        // Another program holds the database, or the server is too busy to
        // answer within the wait allowed.
        Busy,
        // No database file where the settings say.
        Missing,
        // A file or server database without the program's tables.
        NotTessivox,
        // The server cannot be reached (down, no network, wrong address), or
        // the connection to it broke.
        Unreachable,
        // The server took the connection but did not answer in time: the
        // program gave up waiting.
        NoAnswer,
        // The server refuses more connections (max_connections, or a limit
        // of the role or the database).
        Full,
        // A centre database made before the exam office's tables.
        Outdated,
        // The server answered but refused this user or password, or has no
        // such database.
        Refused,
        // Another administrator's change of the same rows came first.
        Conflict
    };

    explicit DbError(const QString &text, Kind kind = Kind::Other)
        : std::runtime_error(shown(kind, text).toStdString()), m_text(text), m_kind(kind)
    {}
    QString text() const { return m_text; }
    Kind kind() const { return m_kind; }

    // The same failure, its engine text prefixed with what it concerns, e.g.
    // the file or the server.
    DbError concerning(const QString &what) const
    {
        return DbError(what + QStringLiteral(": ") + m_text, m_kind);
    }

    // The user's line for a kind of failure.
    static QString explanation(Kind kind);

private:
    static QString shown(Kind kind, const QString &text)
    {
        return explanation(kind) + QLatin1Char('\n') + text;
    }

    QString m_text;
    Kind m_kind;
};
