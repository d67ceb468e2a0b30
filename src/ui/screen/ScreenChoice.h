#pragma once

#include <QList>
#include <QString>

class QScreen;

namespace ScreenChoice {

// The screen a [display] screen= setting names among the system's screens:
// "auto" (or nothing) the first one other than the primary, "none" none, a
// number counting from 1 in the system's order, or a screen's name. Null
// when there is no such screen.
QScreen *pick(const QString &setting, const QList<QScreen *> &screens, const QScreen *primary);

} // namespace ScreenChoice
