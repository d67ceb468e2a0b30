#pragma once

#include <QFile>
#include <QJsonObject>
#include <QList>
#include <QMutex>
#include <QString>

// The events a room has not yet seen accepted by the server, on disk beside
// the run log, so that neither a network cut nor the program's end, however
// abrupt, loses one. One JSON object a line, appended; a second file holds
// how far the server has accepted them. Once everything is accepted, the
// journal starts again empty; compact() drops what was accepted when the
// journal never comes to its end. Events the server refused lie in a third
// file, each with the server's reason. One process at a time writes them.
//
// append() may be called from any thread and never waits for the disk or
// the network; the other functions belong to the one thread that sends.
class RoomJournal final
{
public:
    explicit RoomJournal(const QString &folder);
    Q_DISABLE_COPY_MOVE(RoomJournal)

    // False, with the reason in error(), when the journal cannot be written.
    bool append(const QJsonObject &event);
    QString error() const;

    struct Entry
    {
        QJsonObject event;
        // Where the entry ends in the journal: accepted() takes it.
        qint64 end;
    };
    // The oldest events not yet accepted, at most max.
    QList<Entry> pending(int max);
    // Makes what was appended so far survive a power cut.
    void sync();
    // Everything up to end has been taken by the server.
    void accepted(qint64 end);
    // Starts the journal again from what is pending once the accepted part
    // exceeds RotateBytes. Beyond CapBytes pending (a server refusing the
    // room for months), the events of the oldest runs go until half of it
    // is left, never the last run's; returns how many went.
    int compact();
    static constexpr qint64 RotateBytes = 1 << 20;
    static constexpr qint64 CapBytes = 8 << 20;

    // Keeps an event the server refused, with its reason.
    void setAside(const QJsonObject &event, const QString &reason);
    // The reason of the last event set aside; empty when none is kept.
    QString lastRefusal() const;

    QString path() const { return m_file.fileName(); }
    QString refusedPath() const { return m_folder + QStringLiteral("/office.refused"); }

private:
    bool openLocked();
    // Whether end is the journal's end: everything in it accepted.
    bool isWhole(qint64 end);
    qint64 readAccepted() const;
    // Reads the mark once, and mends it when the journal says it is wrong.
    void checkMark(qint64 size);
    // Whether offset may be the mark: the journal's start or a line's.
    bool isLineStart(qint64 offset, qint64 size) const;
    void writeAccepted(qint64 end);

    QString m_folder;
    mutable QMutex m_mutex;
    QFile m_file;
    QString m_error;
    // The sending thread's own.
    qint64 m_accepted = -1;
};
