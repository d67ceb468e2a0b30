#pragma once

#include <QHash>
#include <QStringList>
#include <optional>

// The words after a command: positional arguments and --options in any order.
// An option that takes a value is written "--name VALUE" or "--name=VALUE", a
// flag "--name"; after "--" every word is positional.
class Arguments final
{
public:
    // What one command takes. Option names are given without "--".
    struct Grammar
    {
        int positional = 0;
        QStringList valued;
        QStringList flags;
        // How many more positional arguments may follow.
        int optional = 0;
    };

    // nullopt, with the reason in error, for an unknown or repeated option, a
    // missing value, or a count of positional arguments other than the grammar's.
    static std::optional<Arguments> parse(const QStringList &words, const Grammar &grammar,
                                          QString &error);

    const QStringList &positional() const { return m_positional; }
    bool has(const QString &name) const { return m_options.contains(name); }
    QString value(const QString &name) const { return m_options.value(name); }

private:
    QStringList m_positional;
    QHash<QString, QString> m_options;
};
