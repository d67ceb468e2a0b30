#include "ui/screen/ScreenChoice.h"

#include <QScreen>

namespace ScreenChoice {

QScreen *pick(const QString &setting, const QList<QScreen *> &screens, const QScreen *primary)
{
    const QString wanted = setting.trimmed();
    if (wanted.isEmpty() || wanted.compare(QStringLiteral("auto"), Qt::CaseInsensitive) == 0) {
        // The invigilator works on the primary screen: a PC with one screen
        // keeps it to itself.
        for (QScreen *screen : screens)
            if (screen != primary)
                return screen;
        return nullptr;
    }
    if (wanted.compare(QStringLiteral("none"), Qt::CaseInsensitive) == 0)
        return nullptr;
    bool isNumber = false;
    const int number = wanted.toInt(&isNumber);
    if (isNumber)
        return number >= 1 && number <= screens.size() ? screens.at(number - 1) : nullptr;
    for (QScreen *screen : screens)
        if (screen->name().compare(wanted, Qt::CaseInsensitive) == 0)
            return screen;
    return nullptr;
}

} // namespace ScreenChoice
