#include "data/ScheduleWatch.h"

#include "data/ScheduleNotice.h"
#include "data/ServerLink.h"
#include "data/Session.h"

#include <QTimer>
#include <utility>

ScheduleWatch::ScheduleWatch(ServerLink &link, QObject *parent)
    : QObject(parent), m_link(link), m_gather(new QTimer(this))
{
    m_gather->setSingleShot(true);
    connect(m_gather, &QTimer::timeout, this, [this] {
        for (const qint64 writer : std::exchange(m_writers, {}))
            emit changed(writer);
    });
    connect(&link, &ServerLink::notified, this,
            [this](const QString &channel, const QString &payload) {
                if (channel != ScheduleNotice::Channel)
                    return;
                m_writers.insert(payload.toLongLong());
                if (!m_gather->isActive())
                    m_gather->start(GatherMs);
            });
    // Whatever changed while nobody listened (at start, or while the server
    // was away) is read now.
    connect(&link, &ServerLink::reconnected, this, [this] { emit changed(0); });

    // The driver learns that its connection broke only as its socket says
    // so; asking the link costs nothing on the network, and a link without
    // a connection opens one.
    auto *check = new QTimer(this);
    connect(check, &QTimer::timeout, &link, &ServerLink::probe);
    check->start(CheckMs);
    auto *safety = new QTimer(this);
    connect(safety, &QTimer::timeout, this, [this] { emit changed(0); });
    safety->start(SafetyMs);

    link.subscribe(ScheduleNotice::Channel);
    link.post(
        [](Session &session) {
            if (!ScheduleNotice::exists(session.db()))
                qWarning("Tessivox: the server sends no notice of schedule changes: run "
                         "tessivox-db upgrade on it");
        },
        std::chrono::seconds(5), this, [](std::exception_ptr) {});
}

ScheduleWatch::~ScheduleWatch() = default;
