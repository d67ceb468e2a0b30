#include "data/NoticeGate.h"

#include "data/ServerLink.h"

#include <QTimer>
#include <algorithm>
#include <mutex>
#include <string_view>
#include <utility>

// What the link's thread and the gate's share.
struct NoticeGate::Gathering
{
    std::mutex mutex;
    // Null once the gate is gone.
    NoticeGate *gate = nullptr;
    QByteArrayList payloads;
    // The gate was told of the gathering and has not passed it on yet.
    bool told = false;
};

NoticeGate::NoticeGate(ServerLink &link, const QString &channel, QObject *parent)
    : QObject(parent), m_gathering(std::make_shared<Gathering>()), m_timer(new QTimer(this))
{
    m_gathering->gate = this;
    m_timer->setSingleShot(true);
    connect(m_timer, &QTimer::timeout, this, [this] {
        QByteArrayList payloads;
        {
            const std::lock_guard lock(m_gathering->mutex);
            payloads.swap(m_gathering->payloads);
            m_gathering->told = false;
        }
        m_passed.start();
        emit passed(payloads);
    });
    link.subscribe(channel, [gathering = m_gathering](QByteArrayView payload) {
        const std::lock_guard lock(gathering->mutex);
        if (!gathering->gate)
            return false;
        QByteArrayList &payloads = gathering->payloads;
        const std::string_view text(payload.data(), size_t(payload.size()));
        if (payloads.size() < KeptPayloads &&
            std::none_of(payloads.cbegin(), payloads.cend(), [&](const QByteArray &kept) {
                return std::string_view(kept.constData(), size_t(kept.size())) == text;
            }))
            payloads << payload.toByteArray();
        if (!std::exchange(gathering->told, true))
            QMetaObject::invokeMethod(gathering->gate, &NoticeGate::arm, Qt::QueuedConnection);
        return true;
    });
}

NoticeGate::~NoticeGate()
{
    const std::lock_guard lock(m_gathering->mutex);
    m_gathering->gate = nullptr;
}

void NoticeGate::arm()
{
    m_timer->start(m_passed.isValid()
                       ? int(std::max<qint64>(GatherMs, SpacingMs - m_passed.elapsed()))
                       : GatherMs);
}
