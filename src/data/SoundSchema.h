#pragma once

#include <QString>
#include <QStringList>

class QSqlDatabase;

// The recordings a centre's schedule names, kept on its server beside the
// schedule: sound_file (one row a file name: its SHA-256, size, who stored
// it and when) and sound_file_chunk (the content, in pieces of ChunkBytes,
// keyed by SHA-256 so that one content named twice is stored once).
namespace SoundSchema {

// Creates both tables, within the caller's transaction. Throws DbError.
void create(const QSqlDatabase &db);

// Adds whichever is missing within the caller's transaction; returns the
// names of what was added. Throws DbError.
QStringList addMissing(const QSqlDatabase &db);

// Whether db keeps recordings: a server made or upgraded since they came;
// never a database file.
bool present(const QSqlDatabase &db);

// The rights on both tables, for OfficeSchema::grants().
QString grants();

} // namespace SoundSchema
