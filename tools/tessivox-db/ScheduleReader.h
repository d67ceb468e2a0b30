#pragma once

#include "data/DbError.h"
#include "data/SoundStore.h"

#include "schedule/Schedule.h"

#include "data/TDataModule1.h"

#include <QStringList>

// Reads subjects and instructions with the run's own statements, through a
// connection that can write nothing. Every failure throws DbError with a
// one-line text that names the database file.
class ScheduleReader final
{
public:
    explicit ScheduleReader(const QString &path);
    Q_DISABLE_COPY_MOVE(ScheduleReader)

    // Subjects with a test row, then those that have only instruction rows.
    QStringList subjectNames();
    // Makes reading many subjects fast; what they read stays the same.
    void prepareForEverySubject();
    // Without a test row and without instructions when there is no such
    // subject; its instructions in play order, as the run plays them.
    Subject subject(const QString &name);
    // The recordings a server holds, by name; none for a file.
    QHash<QString, SoundStore::Held> soundFiles();
    // This PC's data folder, where a room keeps its cache.
    QString dataFolder() const { return m_module.dataFolder(); }

private:
    template <typename Work> auto reading(Work work);
    // Throws the failure again, said of the file or server it concerns; its
    // kind stays, so that a full server is still said to be one.
    [[noreturn]] void fail(const DbError &error) const;
    // The file, or the server without its password.
    QString shownPath() const;

    TDataModule1 m_module;
};
