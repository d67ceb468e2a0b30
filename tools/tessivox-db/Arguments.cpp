#include "Arguments.h"

std::optional<Arguments> Arguments::parse(const QStringList &words, const Grammar &grammar,
                                          QString &error)
{
    Arguments parsed;
    bool optionsEnded = false;
    for (int i = 0; i < words.size(); ++i) {
        const QString &word = words.at(i);
        if (optionsEnded || !word.startsWith(QLatin1String("--"))) {
            parsed.m_positional.append(word);
            continue;
        }
        if (word == QLatin1String("--")) {
            optionsEnded = true;
            continue;
        }
        const qsizetype equals = word.indexOf(QLatin1Char('='));
        const QString name = word.mid(2, equals < 0 ? -1 : equals - 2);
        if (parsed.m_options.contains(name)) {
            error = QStringLiteral("--%1 is given twice").arg(name);
            return std::nullopt;
        }
        if (grammar.flags.contains(name) && equals < 0) {
            parsed.m_options.insert(name, QString());
        } else if (grammar.valued.contains(name)) {
            if (equals < 0 && i + 1 == words.size()) {
                error = QStringLiteral("--%1 needs a value").arg(name);
                return std::nullopt;
            }
            parsed.m_options.insert(name, equals < 0 ? words.at(++i) : word.mid(equals + 1));
        } else {
            error = QStringLiteral("unknown option %1").arg(word);
            return std::nullopt;
        }
    }
    if (parsed.m_positional.size() < grammar.positional ||
        parsed.m_positional.size() > grammar.positional + grammar.optional) {
        error = QStringLiteral("%1 argument%2 expected, %3 given")
                    .arg(grammar.positional)
                    .arg(grammar.positional == 1 ? "" : "s")
                    .arg(parsed.m_positional.size());
        return std::nullopt;
    }
    return parsed;
}
