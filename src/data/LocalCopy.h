#pragma once

#include <QDateTime>
#include <QString>
#include <chrono>
#include <mutex>
#include <thread>

class ServerLink;

// This PC's copy of the schedule it last read from the server: an SQLite
// database with the same tables, which a room plays from when the server
// cannot be reached. It is written in the background, on a connection of
// its own, into a new file that then replaces the old one in one rename: a
// power cut leaves the old copy or the new one, never half of one. The copy
// names the server and database it came from and the moment it was taken:
// a copy of another schedule is never played.
class LocalCopy final
{
public:
    LocalCopy(QString serverUri, QString path);
    // Gives up a copy that waits for the server, then waits for its thread.
    ~LocalCopy();
    Q_DISABLE_COPY_MOVE(LocalCopy)

    const QString &path() const { return m_path; }
    // When the copy of this server's database was taken; invalid without
    // one (no file, another server's or database's, unreadable).
    QDateTime taken() const;
    bool isUsable() const { return taken().isValid(); }

    // Starts writing a new copy unless one is being written already.
    void refresh();
    // Waits until the copy being written, if any, is in place.
    void wait();

    // How long a copy may wait for the server; the last of it for a lock.
    static constexpr std::chrono::milliseconds Deadline{10'000};
    static constexpr int LockWaitMs = 5000;

    // Copies the server's tables into a new file at path, through link.
    // Throws DbError.
    static void write(ServerLink &link, const QString &path);

private:
    QString m_serverUri;
    QString m_path;
    std::mutex m_mutex;
    std::thread m_writer;
    bool m_writing = false;
    // The writer's link while it writes; stopped when the copy goes.
    ServerLink *m_link = nullptr;
    bool m_ending = false;
};
