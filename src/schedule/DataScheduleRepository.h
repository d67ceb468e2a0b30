#pragma once

#include "data/SoundStore.h"
#include "schedule/ScheduleRepository.h"

#include <QDateTime>

class TDataModule1;

// The repository over the data module's connection: a database file, or a
// centre's server with its deadlines and, while a load lasts, the local
// copy standing in for a server that cannot be reached. Beside the import's
// interface it has the single reads and writes the windows and the tools
// make; each throws DbError.
class DataScheduleRepository final : public ScheduleRepository
{
public:
    explicit DataScheduleRepository(TDataModule1 &data);

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
};
