#include "schedule/SubjectReread.h"

#include "data/DbError.h"
#include "data/ServerLink.h"
#include "data/Session.h"
#include "data/TDataModule1.h"
#include "schedule/ScheduleSql.h"

#include <memory>

namespace {

// A server that did not answer in time, or could not be reached, still
// counts as it did; any other failure may be the count's own (its table
// gone, its right revoked).
bool countStands(const std::exception_ptr &failure)
{
    try {
        std::rethrow_exception(failure);
    } catch (const DbError &error) {
        return error.kind() == DbError::Kind::NoAnswer ||
               error.kind() == DbError::Kind::Unreachable;
    } catch (...) {
    }
    return false;
}

} // namespace

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
    struct Reading
    {
        std::optional<qint64> count;
        std::optional<SubjectRead> read;
    };
    auto result = std::make_shared<Reading>();
    m_link.post(
        [result, subject = m_subject, before = m_count](Session &session) {
            session.waitFor(TDataModule1::ReadWaitMs);
            // Asked before the subject: a change committed between the two
            // is read now and, the count having moved, once more later.
            result->count = ScheduleSql::changeCount(session, before.has_value());
            if (result->count && result->count == before)
                return;
            result->read = SubjectRead{ScheduleSql::subject(session, subject),
                                       SoundStore::heldIfKept(session.db())};
        },
        TDataModule1::ReadDeadline, this,
        [this, result](std::exception_ptr failure) {
            m_inFlight = false;
            // Kept only with the reading it belongs to.
            if (failure && !countStands(failure))
                m_count.reset();
            else if (result->read) {
                m_count = result->count;
                ++m_subjectReads;
                emit read(*result->read);
            }
            if (std::exchange(m_waiting, false))
                begin();
        });
}
