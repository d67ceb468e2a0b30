#include "schedule/DataScheduleRepository.h"

#include "data/ServerAddress.h"
#include "data/Session.h"
#include "data/SoundSchema.h"
#include "data/TDataModule1.h"
#include "schedule/ScheduleSql.h"
#include "schedule/ScheduleTables.h"

namespace {

template <typename Work> auto on(TDataModule1 &data, TDataModule1::Access access, Work work)
{
    decltype(work(std::declval<Session &>())) result{};
    data.use(access, [&](Session &session) { result = work(session); });
    return result;
}

template <typename Work> auto reading(TDataModule1 &data, Work work)
{
    return on(data, TDataModule1::Access::Read, work);
}

template <typename Work> auto writing(TDataModule1 &data, Work work)
{
    return on(data, TDataModule1::Access::Write, work);
}

template <typename Work> void inTransaction(TDataModule1 &data, Work work)
{
    ScheduleTables::transaction(data, [&] {
        data.use(TDataModule1::Access::Write, [&](Session &session) { work(session); });
    });
}

} // namespace

DataScheduleRepository::DataScheduleRepository(TDataModule1 &data) : m_data(data) {}

QString DataScheduleRepository::title()
{
    return reading(m_data, [](Session &session) { return ScheduleSql::title(session); });
}

QStringList DataScheduleRepository::subjectNames()
{
    return reading(m_data, [](Session &session) { return ScheduleSql::subjectNames(session); });
}

Subject DataScheduleRepository::subject(const QString &name)
{
    return reading(m_data, [&](Session &session) { return ScheduleSql::subject(session, name); });
}

QStringList DataScheduleRepository::existing(const Schedule &schedule)
{
    return reading(m_data,
                   [&](Session &session) { return ScheduleSql::existing(session, schedule); });
}

void DataScheduleRepository::store(const Schedule &schedule, bool replaceExisting)
{
    inTransaction(
        m_data, [&](Session &session) { ScheduleSql::store(session, schedule, replaceExisting); });
}

QList<Instruction> DataScheduleRepository::instructions(const QString &subject)
{
    return reading(m_data,
                   [&](Session &session) { return ScheduleSql::instructions(session, subject); });
}

QStringList DataScheduleRepository::subjectsPlaying(const QString &file, const QString &except)
{
    return reading(m_data, [&](Session &session) {
        return ScheduleSql::subjectsPlaying(session, file, except);
    });
}

QHash<QString, SoundStore::Held> DataScheduleRepository::recordings()
{
    if (!ServerAddress::isServer(m_data.path()))
        return {};
    return reading(m_data, [](Session &session) { return SoundStore::heldIfKept(session.db()); });
}

bool DataScheduleRepository::keepsRecordings()
{
    return reading(m_data, [](Session &session) { return SoundSchema::present(session.db()); });
}

int DataScheduleRepository::setTitle(const QString &title)
{
    return writing(m_data, [&](Session &session) { return ScheduleSql::setTitle(session, title); });
}

int DataScheduleRepository::addSubject(const QString &name, const QDateTime &start,
                                       const QDateTime &end)
{
    return writing(m_data, [&](Session &session) {
        return ScheduleSql::addSubject(session, name, start, end);
    });
}

int DataScheduleRepository::setTimes(const QString &name, const QDateTime &start,
                                     const QDateTime &end)
{
    return writing(
        m_data, [&](Session &session) { return ScheduleSql::setTimes(session, name, start, end); });
}

void DataScheduleRepository::deleteSubject(const QString &name)
{
    inTransaction(m_data, [&](Session &session) { ScheduleSql::deleteSubject(session, name); });
}

void DataScheduleRepository::replaceInstructions(const QString &subject,
                                                 const QList<Instruction> &instructions)
{
    inTransaction(m_data, [&](Session &session) {
        ScheduleSql::replaceInstructions(session, subject, instructions);
    });
}
