#include "ui/common/Fonts.h"

#include <QFontDatabase>

namespace Fonts {

QString firstInstalled(const QStringList &families)
{
    const QStringList installed = QFontDatabase::families();
    for (const QString &family : families)
        if (installed.contains(family))
            return family;
    return {};
}

} // namespace Fonts
