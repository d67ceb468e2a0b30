#pragma once

#include "data/SoundStore.h"
#include "schedule/Schedule.h"

#include <QHash>
#include <QObject>
#include <optional>

class ServerLink;

// What a reading of a running subject brings.
struct SubjectRead
{
    Subject subject;
    // The recordings the server holds, by name.
    QHash<QString, SoundStore::Held> held;
};

// A running room's reading of its subject anew, off the thread that plays:
// a job on the server link's own thread whose values come back by a queued
// call. A request is a hint that something may have changed, never more:
// however many come, at most one reading is on its way and one waits for
// it, so a flood of notices costs the room no more than one reading after
// another. Where the server counts its changes, a reading first asks the
// count and reads the subject only when it moved since the last reading
// passed on: a flood from a login that cannot write the schedule costs the
// room one small statement a spacing. A reading that fails or meets no
// answer in time is dropped; the run plays on from what it holds until the
// next request.
class SubjectReread final : public QObject
{
    Q_OBJECT

public:
    SubjectReread(ServerLink &link, QString subject, QObject *parent = nullptr);

    void request();
    // Readings begun so far, and those of them that read the subject.
    int begun() const { return m_begun; }
    int subjectReads() const { return m_subjectReads; }

signals:
    void read(const SubjectRead &read);

private:
    void begin();

    ServerLink &m_link;
    const QString m_subject;
    bool m_inFlight = false;
    bool m_waiting = false;
    int m_begun = 0;
    int m_subjectReads = 0;
    // The server's count of changes when the last reading passed on was
    // made, none where it keeps none.
    std::optional<qint64> m_count;
};
