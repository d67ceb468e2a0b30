#pragma once

#include <QString>

class MessageBoxes;

// At start-up, when the database file is an Access schedule: says so and
// offers to bring it in. On OK the Access file is kept beside it under a
// new name and a Tessivox database with its schedule takes its place, and
// the report is shown; on Cancel nothing changes and the user reads how to
// import later. A file that cannot be read is left as it is, with the
// reason. soundFolder: where the report looks for the recordings.
void offerAccessImport(MessageBoxes &boxes, const QString &path, const QString &soundFolder);
