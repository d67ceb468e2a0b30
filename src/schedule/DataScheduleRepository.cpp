#include "schedule/DataScheduleRepository.h"

#include "data/DbError.h"
#include "data/ServerAddress.h"
#include "data/ServerLink.h"
#include "data/Session.h"
#include "data/SoundSchema.h"
#include "data/TDataModule1.h"
#include "schedule/CopyStandIn.h"
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

template <typename Values> using Reader = std::function<void(Session &, Values &)>;
template <typename Values> using Done = std::function<void(const Values &)>;

void readOverview(Session &session, ScheduleOverview &into)
{
    into.title = ScheduleSql::title(session);
    into.subjects = ScheduleSql::subjectNames(session);
}

// On the caller's thread: a database file, or the local copy standing in.
template <typename Values>
Values readHere(const std::function<void(const std::function<void(Session &)> &)> &on,
                const Reader<Values> &read)
{
    Values values;
    try {
        on([&](Session &session) { read(session, values); });
    } catch (const DbError &) {
        values.failure = std::current_exception();
    }
    return values;
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

template <typename Values> struct Load
{
    TDataModule1 &data;
    CopyStandIn *standIn;
    QObject *receiver;
    Reader<Values> read;
    Done<Values> done;
};

template <typename Values> void loadFromServer(const Load<Values> &load, bool again)
{
    // The job owns what it writes: past its deadline it may still be ending.
    auto into = std::make_shared<Values>();
    load.data.link()->post(
        [into, read = load.read](Session &session) {
            session.waitFor(TDataModule1::ReadWaitMs);
            read(session, *into);
        },
        TDataModule1::ReadDeadline, load.receiver,
        [load, into, again](std::exception_ptr failure) {
            if (!failure) {
                if (load.standIn)
                    load.standIn->answered(*load.data.link());
                load.done(*into);
                return;
            }
            const DbError::Kind kind = kindOf(failure);
            // A server restarted since the last statement fails it on the
            // old connection only.
            if (kind == DbError::Kind::Unreachable && !again) {
                loadFromServer(load, true);
                return;
            }
            QString notice;
            if (load.standIn && load.standIn->standsIn(kind, notice)) {
                Values values = readHere<Values>(
                    [&](const auto &work) { load.standIn->read(work); }, load.read);
                values.fromCopy = true;
                values.notice = notice;
                load.done(values);
                return;
            }
            // What the job read may be half written: none of it is shown.
            Values failed;
            failed.failure = failure;
            load.done(failed);
        });
}

template <typename Values> void start(const Load<Values> &load)
{
    if (load.data.link()) {
        loadFromServer(load, false);
        return;
    }
    load.done(readHere<Values>(
        [&](const auto &work) { load.data.use(TDataModule1::Access::Read, work); }, load.read));
}

} // namespace

void DataScheduleRepository::loadOverview(QObject *receiver,
                                          std::function<void(const ScheduleOverview &)> done)
{
    start(Load<ScheduleOverview>{m_data, m_standIn, receiver, readOverview, std::move(done)});
}

void DataScheduleRepository::loadSubject(const QString &name, QObject *receiver,
                                         std::function<void(const SubjectLoad &)> done)
{
    // A database file's PC plays from its sound folder whatever its tables
    // hold; a server's recordings, or its copy's, play from the cache.
    const bool server = ServerAddress::isServer(m_data.path());
    start(Load<SubjectLoad>{m_data, m_standIn, receiver,
                            [name, server](Session &session, SubjectLoad &into) {
                                into.read.subject = ScheduleSql::subject(session, name);
                                if (server)
                                    into.read.held = SoundStore::heldIfKept(session.db());
                            },
                            std::move(done)});
}

DataScheduleRepository::DataScheduleRepository(TDataModule1 &data, CopyStandIn *standIn)
    : m_data(data), m_standIn(standIn)
{}

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
