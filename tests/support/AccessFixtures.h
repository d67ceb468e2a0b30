#pragma once

#include "schedule/Schedule.h"

#include <QByteArray>
#include <QString>

// The Access schedules of tests/fixtures/access and what each holds.
namespace AccessFixtures {

QString path(const QString &name);
// The schedule of jet4-datetime.mdb, jet4-extra-columns.mdb and
// ace-datetime.accdb, every value as the file holds it.
Schedule dateTimeSchedule();
// The five play times of jet4-text-zh.mdb that a form reads.
Schedule textSchedule();
// Writes the fixture's bytes to target, cut after length bytes (all when
// negative), or with its three tables renamed so that none of them is
// found. Returns the bytes written.
QByteArray copy(const QString &name, const QString &target, qint64 length = -1);
QByteArray copyWithoutTables(const QString &name, const QString &target);
QByteArray sha256(const QString &path);

} // namespace AccessFixtures
