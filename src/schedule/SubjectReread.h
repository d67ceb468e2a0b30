#pragma once

#include "data/SoundStore.h"
#include "schedule/Schedule.h"

#include <QHash>
#include <QObject>

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
// another. A reading that fails or meets no answer in time is dropped; the
// run plays on from what it holds until the next request.
class SubjectReread final : public QObject
{
    Q_OBJECT

public:
    SubjectReread(ServerLink &link, QString subject, QObject *parent = nullptr);

    void request();
    // Readings begun so far.
    int begun() const { return m_begun; }

signals:
    void read(const SubjectRead &read);

private:
    void begin();

    ServerLink &m_link;
    const QString m_subject;
    bool m_inFlight = false;
    bool m_waiting = false;
    int m_begun = 0;
};
