#pragma once

#include "data/Statement.h"

#include <QDateTime>
#include <QTime>

// The whole statement vocabulary of the program. Statements that differ only
// in whitespace or in the columns they select but read the same columns
// share one function.
namespace Statements {

// "select systitle from var" (main window load, console title tab).
Statement selectTitle();
// Update of the title, only in the row with id 1.
Statement updateTitle(const QString &title);
// The title's row where there is none yet.
Statement insertTitle(const QString &title);
// All subject names, in the order the table returns them.
Statement selectSubjectNames();
// The subjects that have instruction rows, in the order of their first row;
// with a test row or without one.
Statement selectSoundSubjectNames();
// The test row of one subject (existence check, run window header).
Statement selectSubject(const QString &subject);
Statement insertSubject(const QString &subject, const QDateTime &start, const QDateTime &end);
// With the times as they were stored elsewhere.
Statement insertSubject(const QString &subject, const QString &storedStart,
                        const QString &storedEnd);
Statement selectSubjectTimes(const QString &subject);
Statement updateSubjectTimes(const QString &subject, const QDateTime &start, const QDateTime &end);
Statement deleteSubject(const QString &subject);
// The instruction rows of one subject, unordered (existence check).
Statement selectSounds(const QString &subject);
// The other subjects with instructions that play file.
Statement selectSubjectsPlaying(const QString &file, const QString &except);
// The instruction rows of one subject in ascending time of day.
Statement selectSoundsByPlaytime(const QString &subject);
Statement deleteSounds(const QString &subject);
Statement insertSound(const QString &subject, const QString &filename, const QString &explain,
                      const QTime &playtime);
// With the play time as it was stored, a null text storing NULL.
Statement insertSound(const QString &subject, const QString &filename, const QString &explain,
                      const QString &storedPlaytime);
// The same, under the rowid the row had before a list replaced it whole.
Statement insertSound(qint64 rowid, const QString &subject, const QString &filename,
                      const QString &explain, const QString &storedPlaytime);

// Every file the instructions name, once, by name, with the server's
// SHA-256 and size of it where it holds one (NULL otherwise).
Statement selectNamedRecordings();
// Subject and play time of every instruction of the subjects the exam
// office's rooms are running.
Statement selectRunningPlaytimes();

} // namespace Statements
