#include "office/AnnouncementWatch.h"

#include "data/DbError.h"
#include "data/NoticeGate.h"
#include "data/ServerLink.h"
#include "data/Session.h"
#include "platform/Clock.h"

#include <QTimer>
#include <memory>

AnnouncementWatch::AnnouncementWatch(ServerLink &link, QString room, const Clock &clock,
                                     QObject *parent)
    : QObject(parent), m_link(link), m_room(std::move(room)), m_clock(clock)
{
    // Any login may notify the channel: a flood reads a few times a second.
    connect(new NoticeGate(link, Announcements::Channel, this), &NoticeGate::passed, this,
            &AnnouncementWatch::read);
    // Whatever was announced while nobody listened is read now.
    connect(&link, &ServerLink::reconnected, this, &AnnouncementWatch::read);
    auto *safety = new QTimer(this);
    connect(safety, &QTimer::timeout, this, &AnnouncementWatch::read);
    safety->start(SafetyMs);
    read();
}

void AnnouncementWatch::read()
{
    if (m_reading) {
        m_readAgain = true;
        return;
    }
    m_reading = true;
    const QDate day = m_clock.now().date();
    auto due = std::make_shared<QList<Announcements::Due>>();
    m_link.post([due, day, room = m_room](
                    Session &session) { *due = Announcements::readFor(session.db(), room, day); },
                ReadDeadline, this,
                [this, due](std::exception_ptr failure) {
                    m_reading = false;
                    try {
                        if (failure)
                            std::rethrow_exception(failure);
                        emit changed(*due);
                    } catch (const DbError &error) {
                        // One that does not answer is read again when it is back.
                        if (error.kind() != DbError::Kind::NoAnswer &&
                            error.kind() != DbError::Kind::Unreachable && !m_unavailableSaid) {
                            m_unavailableSaid = true;
                            emit unavailable(error.text());
                        }
                    }
                    if (std::exchange(m_readAgain, false))
                        read();
                });
}
