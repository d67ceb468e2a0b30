#include "data/ScheduleWatch.h"

#include "data/ScheduleNotice.h"
#include "data/ServerLink.h"
#include "data/Session.h"

#include <QTimer>
#include <algorithm>
#include <utility>

ScheduleWatch::ScheduleWatch(ServerLink &link, QObject *parent)
    : QObject(parent), m_link(link), m_gather(new QTimer(this))
{
    m_gather->setSingleShot(true);
    connect(m_gather, &QTimer::timeout, this, [this] {
        m_passed.start();
        emit changed(std::exchange(m_writer, std::nullopt).value_or(0));
    });
    connect(&link, &ServerLink::notified, this,
            [this](const QString &channel, const QString &payload) {
                if (channel != ScheduleNotice::Channel)
                    return;
                // A payload is only a hint: a flood of distinct ones costs
                // one changed() a spacing.
                const qint64 writer = payload.toLongLong();
                if (!m_writer || isOwn(*m_writer))
                    m_writer = writer;
                if (!m_gather->isActive())
                    m_gather->start(
                        m_passed.isValid()
                            ? int(std::max<qint64>(GatherMs, SpacingMs - m_passed.elapsed()))
                            : GatherMs);
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
        std::chrono::seconds(5), this,
        [this](std::exception_ptr failure) {
            // Listening from now on: a change made before, since the windows
            // last read, is read now.
            if (!failure)
                emit changed(0);
        });
}

ScheduleWatch::~ScheduleWatch() = default;

void ScheduleWatch::ownWrites(qint64 serverProcess)
{
    if (serverProcess != 0)
        m_own.insert(serverProcess);
}

bool ScheduleWatch::isOwn(qint64 writer) const
{
    return writer == m_link.serverProcess() || m_own.contains(writer);
}
