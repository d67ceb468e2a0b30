#include "schedule/ScheduleWatch.h"

#include "data/NoticeGate.h"
#include "data/ServerLink.h"
#include "data/Session.h"
#include "schedule/ScheduleNotice.h"

#include <QTimer>

ScheduleWatch::ScheduleWatch(ServerLink &link, QObject *parent) : QObject(parent), m_link(link)
{
    // A payload is only a hint: the first writer gathered that is not this
    // program is passed on, else this program.
    auto *gate = new NoticeGate(link, ScheduleNotice::Channel, this);
    connect(gate, &NoticeGate::passed, this, [this](const QByteArrayList &payloads) {
        qint64 writer = 0;
        for (const QByteArray &payload : payloads)
            if (writer = payload.toLongLong(); !isOwn(writer))
                break;
        emit changed(writer);
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

    link.post(
        [](Session &session) {
            if (!ScheduleNotice::exists(session.db()))
                qWarning("Tessivox: the server sends no notice of schedule changes, or keeps no "
                         "count of them: run tessivox-db upgrade on it");
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
