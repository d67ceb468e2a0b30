#pragma once

#include <QStringList>

namespace Fonts {

// The first of these font families installed on this machine; empty when
// none is.
QString firstInstalled(const QStringList &families);

} // namespace Fonts
