#include "schedule/SubjectReread.h"

#include "data/ServerLink.h"
#include "data/Session.h"
#include "data/TDataModule1.h"
#include "schedule/ScheduleSql.h"

#include <memory>

SubjectReread::SubjectReread(ServerLink &link, QString subject, QObject *parent)
    : QObject(parent), m_link(link), m_subject(std::move(subject))
{}

void SubjectReread::request()
{
    if (m_inFlight) {
        m_waiting = true;
        return;
    }
    begin();
}

void SubjectReread::begin()
{
    m_inFlight = true;
    ++m_begun;
    // The job owns what it writes: past its deadline it may still be ending.
    auto result = std::make_shared<SubjectRead>();
    m_link.post(
        [result, subject = m_subject](Session &session) {
            session.waitFor(TDataModule1::ReadWaitMs);
            result->subject = ScheduleSql::subject(session, subject);
            result->held = SoundStore::heldIfKept(session.db());
        },
        TDataModule1::ReadDeadline, this,
        [this, result](std::exception_ptr failure) {
            m_inFlight = false;
            if (!failure)
                emit read(*result);
            if (std::exchange(m_waiting, false))
                begin();
        });
}
