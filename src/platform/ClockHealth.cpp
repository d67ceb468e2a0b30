#include "platform/ClockHealth.h"

QString ClockHealth::Reading::text() const
{
    switch (sync) {
    case Sync::Synchronised:
        return QStringLiteral("synchronised");
    case Sync::NotSynchronised:
        return automatic ? QStringLiteral("not synchronised (automatic synchronisation is on)")
                         : QStringLiteral("not synchronised (automatic synchronisation is off)");
    case Sync::Unknown:
        break;
    }
    return why.isEmpty() ? QStringLiteral("unknown") : QStringLiteral("unknown: ") + why;
}
