#pragma once

#include "schedule/AccessSchedule.h"

#include <QStringList>

// Bringing an Access schedule into Tessivox: the report the user reads, and
// the writes that never leave half a database behind.
namespace AccessImport {

// The file names among the schedule's instructions that folder lacks,
// sorted, each once.
QStringList missingSounds(const Schedule &schedule, const QString &folder);

// What the import found, for the user: the title, each subject with its
// start, end and count of instructions, every row left out with its reason,
// and the sound files the folder lacks (the first 30 of them by name).
// listed: how many subjects and rows at most are named one by one (all when
// negative); a message box shows no more than fits on a screen.
QString report(const AccessSchedule::Mapped &mapped, const QStringList &missing,
               const QString &soundFolder, int listed = -1);

// Writes mapped into a new database file at path, which must not exist: it
// is built beside it and appears only whole. Throws DbError.
void storeNewFile(const QString &path, const AccessSchedule::Mapped &mapped);

// The Access file at path gives way to a Tessivox database holding mapped.
// First a copy of it is kept beside it under a name that says what it is
// (returned; never an existing file), then the new database, built and
// synced beside it, takes its place in one rename: whenever the process
// ends, path holds the Access file or both files are whole. Throws DbError.
QString convertInPlace(const QString &path, const AccessSchedule::Mapped &mapped);
// The name the Access file at path would be kept under now: "asdf.mdb"
// gives "asdf-access.mdb", then "asdf-access-2.mdb" and on.
QString keptName(const QString &path);

} // namespace AccessImport
