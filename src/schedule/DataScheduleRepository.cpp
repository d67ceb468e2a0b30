#include "schedule/DataScheduleRepository.h"

#include "data/DbError.h"
#include "data/ServerAddress.h"
#include "data/ServerLink.h"
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

using OverviewDone = std::function<void(const ScheduleOverview &)>;

void readOverview(Session &session, ScheduleOverview &into)
{
    into.title = ScheduleSql::title(session);
    into.subjects = ScheduleSql::subjectNames(session);
}

// On the caller's thread: a database file, or the local copy standing in.
ScheduleOverview readHere(TDataModule1 &data)
{
    ScheduleOverview overview;
    try {
        data.use(TDataModule1::Access::Read,
                 [&](Session &session) { readOverview(session, overview); });
    } catch (const DbError &) {
        overview.failure = std::current_exception();
    }
    overview.fromCopy = data.readFromCopy();
    return overview;
}

DbError::Kind kindOf(const std::exception_ptr &failure)
{
    try {
        std::rethrow_exception(failure);
    } catch (const DbError &error) {
        return error.kind();
    } catch (...) {
        return DbError::Kind::Other;
    }
}

void loadFromServer(TDataModule1 &data, QObject *receiver, OverviewDone done, bool again)
{
    // The job owns what it writes: past its deadline it may still be ending.
    auto read = std::make_shared<ScheduleOverview>();
    data.link()->post(
        [read](Session &session) {
            session.waitFor(TDataModule1::ReadWaitMs);
            readOverview(session, *read);
        },
        TDataModule1::ReadDeadline, receiver,
        [&data, receiver, read, done, again](std::exception_ptr failure) {
            TDataModule1::Load load(data);
            if (!failure) {
                load.finished();
                done(*read);
                return;
            }
            const DbError::Kind kind = kindOf(failure);
            // A server restarted since the last statement fails it on the
            // old connection only.
            if (kind == DbError::Kind::Unreachable && !again) {
                loadFromServer(data, receiver, done, true);
                return;
            }
            if (load.standIn(kind)) {
                done(readHere(data));
                return;
            }
            // What the job read may be half written: none of it is shown.
            ScheduleOverview failed;
            failed.failure = failure;
            done(failed);
        });
}

} // namespace

void DataScheduleRepository::loadOverview(QObject *receiver,
                                          std::function<void(const ScheduleOverview &)> done)
{
    if (m_data.link()) {
        loadFromServer(m_data, receiver, std::move(done), false);
        return;
    }
    TDataModule1::Load load(m_data);
    const ScheduleOverview overview = readHere(m_data);
    if (!overview.failure)
        load.finished();
    done(overview);
}

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
