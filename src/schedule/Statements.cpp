#include "schedule/Statements.h"

#include "data/StoredTime.h"

// Rows come back by rowid where the order matters so that an index someone
// adds to a column cannot change which title or subject comes first.
namespace Statements {

Statement selectTitle()
{
    return {QStringLiteral("SELECT systitle FROM var ORDER BY rowid"), {}};
}

Statement updateTitle(const QString &title)
{
    return {QStringLiteral("UPDATE var SET systitle = ? WHERE id = 1"), {title}};
}

Statement insertTitle(const QString &title)
{
    return {QStringLiteral("INSERT INTO var (id, systitle) VALUES (1, ?)"), {title}};
}

Statement selectSubjectNames()
{
    return {QStringLiteral("SELECT subjectname FROM test ORDER BY rowid"), {}};
}

Statement selectSoundSubjectNames()
{
    // NULL names no subject: no condition on a name ever matches it.
    return {QStringLiteral("SELECT subjectname FROM sound WHERE subjectname IS NOT NULL "
                           "GROUP BY subjectname ORDER BY min(rowid)"),
            {}};
}

Statement selectSubject(const QString &subject)
{
    return {QStringLiteral("SELECT * FROM test WHERE subjectname = ?"), {subject}};
}

Statement insertSubject(const QString &subject, const QDateTime &start, const QDateTime &end)
{
    return insertSubject(subject, StoredTime::fromDateTime(start), StoredTime::fromDateTime(end));
}

Statement insertSubject(const QString &subject, const QString &storedStart,
                        const QString &storedEnd)
{
    return {QStringLiteral("INSERT INTO test (subjectname, starttime, endtime) VALUES (?, ?, ?)"),
            {subject, storedStart, storedEnd}};
}

Statement selectSubjectTimes(const QString &subject)
{
    return {QStringLiteral("SELECT starttime, endtime FROM test WHERE subjectname = ?"), {subject}};
}

Statement updateSubjectTimes(const QString &subject, const QDateTime &start, const QDateTime &end)
{
    return {QStringLiteral("UPDATE test SET starttime = ?, endtime = ? WHERE subjectname = ?"),
            {StoredTime::fromDateTime(start), StoredTime::fromDateTime(end), subject}};
}

Statement deleteSubject(const QString &subject)
{
    return {QStringLiteral("DELETE FROM test WHERE subjectname = ?"), {subject}};
}

Statement selectSounds(const QString &subject)
{
    return {QStringLiteral("SELECT * FROM sound WHERE subjectname = ?"), {subject}};
}

Statement selectSubjectsPlaying(const QString &file, const QString &except)
{
    return {QStringLiteral("SELECT DISTINCT subjectname FROM sound WHERE filename = ? AND "
                           "subjectname <> ? ORDER BY 1"),
            {file, except}};
}

Statement selectSoundsByPlaytime(const QString &subject)
{
    // time() reads every stored form (a date part, milliseconds, 'T') as its
    // time of day; rowid keeps instructions at the same second in the order
    // they were saved, and names each row for a run that reads the list again.
    return {QStringLiteral(
                "SELECT rowid, * FROM sound WHERE subjectname = ? ORDER BY time(playtime), rowid"),
            {subject}};
}

Statement deleteSounds(const QString &subject)
{
    return {QStringLiteral("DELETE FROM sound WHERE subjectname = ?"), {subject}};
}

Statement insertSound(const QString &subject, const QString &filename, const QString &explain,
                      const QTime &playtime)
{
    return insertSound(subject, filename, explain, StoredTime::fromTime(playtime));
}

Statement insertSound(const QString &subject, const QString &filename, const QString &explain,
                      const QString &storedPlaytime)
{
    return {QStringLiteral(
                "INSERT INTO sound (subjectname, filename, explain, playtime) VALUES (?, ?, ?, ?)"),
            {subject, filename, explain, storedPlaytime}};
}

Statement insertSound(qint64 rowid, const QString &subject, const QString &filename,
                      const QString &explain, const QString &storedPlaytime)
{
    return {QStringLiteral("INSERT INTO sound (rowid, subjectname, filename, explain, playtime) "
                           "VALUES (?, ?, ?, ?, ?)"),
            {rowid, subject, filename, explain, storedPlaytime}};
}

Statement selectNamedRecordings()
{
    return {QStringLiteral(
                "SELECT DISTINCT s.filename, f.sha256, f.size FROM sound s LEFT JOIN "
                "sound_file f ON f.name = s.filename WHERE s.filename IS NOT NULL ORDER BY 1"),
            {}};
}

Statement selectRunningPlaytimes()
{
    return {QStringLiteral("SELECT s.subjectname, s.playtime FROM sound s WHERE s.subjectname "
                           "IN (SELECT subject FROM room WHERE state = 'running')"),
            {}};
}

} // namespace Statements
