#include "data/CancellableLink.h"

#include "data/DbError.h"
#include "data/ServerLink.h"

#include <QScopeGuard>

void CancellableLink::run(const QString &server, const std::function<void(ServerLink &)> &work)
{
    ServerLink link(server);
    {
        const std::lock_guard lock(m_mutex);
        m_link = &link;
    }
    const auto forget = qScopeGuard([this] {
        const std::lock_guard lock(m_mutex);
        m_link = nullptr;
    });
    check();
    work(link);
}

void CancellableLink::cancel()
{
    m_cancelled = true;
    const std::lock_guard lock(m_mutex);
    if (m_link)
        m_link->stop();
}

void CancellableLink::check() const
{
    if (m_cancelled)
        throw DbError(QStringLiteral("cancelled"));
}
