#pragma once

#include <QList>
#include <QString>
#include <QTime>

// What a new reading of a running subject's instructions changed, each
// instruction known by its identity (its row's rowid), never by its time:
// the run log's and the office's "schedule changed".
struct QueueChange
{
    struct Row
    {
        qint64 id = -1;
        QTime time;
        QString file;
        QString explanation;
    };

    // Same identity, another second, file or explanation: before, after.
    QList<std::pair<Row, Row>> moved;
    QList<Row> added;
    QList<Row> removed;
    // Changed too close to its second: it plays as it was in this run.
    QList<Row> kept;

    static QueueChange between(const QList<Row> &before, const QList<Row> &after);

    bool isEmpty() const { return moved.isEmpty() && added.isEmpty() && removed.isEmpty(); }
    // The instruction of this identity plays as it was: its change is
    // reported as kept instead of moved or removed.
    void keep(const Row &row);
    // For the run log: "moved 08:10:00 -> 08:20:00 b.wav; added ...".
    QString text() const;
};
