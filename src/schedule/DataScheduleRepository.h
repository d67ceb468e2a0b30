#pragma once

#include "data/SoundStore.h"
#include "schedule/ScheduleRepository.h"
#include "schedule/SubjectReread.h"

#include <QDateTime>
#include <exception>
#include <functional>
#include <optional>

class CopyStandIn;
class QObject;
class TDataModule1;

// What the main window shows.
struct ScheduleOverview
{
    // Read before a failure of the subjects' read, from a database file.
    std::optional<QString> title;
    QStringList subjects;
    // Null when everything was read.
    std::exception_ptr failure;
    // Read from the local copy standing in for the server.
    bool fromCopy = false;
    // What the user is told of it, the first time only.
    QString notice;
};

// What the run window plays: its subject and the recordings it finds.
struct SubjectLoad
{
    SubjectRead read;
    // Null when everything was read.
    std::exception_ptr failure;
    // Read from the local copy standing in for the server.
    bool fromCopy = false;
    // What the user is told of it, the first time only.
    QString notice;
};

// The repository over the data module's connection: a database file, or a
// centre's server with its deadlines and, while a load lasts, the local
// copy standing in for a server that cannot be reached. Beside the import's
// interface it has the single reads and writes the windows and the tools
// make; each throws DbError.
class DataScheduleRepository final : public ScheduleRepository
{
public:
    // standIn: the local copy a server's loads may read instead; none for
    // a database file, or where no copy is kept.
    explicit DataScheduleRepository(TDataModule1 &data, CopyStandIn *standIn = nullptr);

    // The main window's load, which never has the caller wait for a server:
    // a server's title and subjects are read as a job on its link's thread,
    // and done runs on receiver's thread by a queued call, unless receiver
    // is gone by then. A server restarted since the last statement is tried
    // once more; one that is away, does not answer or is full is replaced by
    // the local copy, whose notice comes with the first values it gave. A
    // server that answers brings the copy up to date. A database file is
    // read at once: done runs before this returns.
    void loadOverview(QObject *receiver, std::function<void(const ScheduleOverview &)> done);
    // The run window's first reading of its subject, loaded the same way:
    // its times, instructions and, on a server, the recordings it holds.
    void loadSubject(const QString &name, QObject *receiver,
                     std::function<void(const SubjectLoad &)> done);

    QString title() override;
    QStringList subjectNames() override;
    Subject subject(const QString &name) override;
    QStringList existing(const Schedule &schedule) override;
    void store(const Schedule &schedule, bool replaceExisting) override;

    QList<Instruction> instructions(const QString &subject);
    // The other subjects whose instructions play file.
    QStringList subjectsPlaying(const QString &file, const QString &except);
    // The recordings a server holds, by name; none for a database file,
    // whose PC plays from its sound folder whatever its tables hold.
    QHash<QString, SoundStore::Held> recordings();
    // The server keeps recordings with the schedule.
    bool keepsRecordings();

    // Each returns how many rows it changed: none when there was no row to
    // change (no title row with id 1, a subject deleted meanwhile).
    int setTitle(const QString &title);
    int addSubject(const QString &name, const QDateTime &start, const QDateTime &end);
    int setTimes(const QString &name, const QDateTime &start, const QDateTime &end);
    // Both or neither: instructions left without their subject would pass
    // to a subject added later under the same name.
    void deleteSubject(const QString &name);
    // All or nothing; see ScheduleSql::replaceInstructions.
    void replaceInstructions(const QString &subject, const QList<Instruction> &instructions);

private:
    TDataModule1 &m_data;
    CopyStandIn *m_standIn;
};
