#pragma once

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>
#include <QVariantList>
#include <chrono>
#include <mutex>
#include <thread>

class QSqlDatabase;
class ServerLink;

// This PC's copy of the schedule it last read from the server: an SQLite
// database with the same tables, which a room plays from when the server
// cannot be reached. The schedule is read on the windows' own link, off
// their thread, and written only when it differs from the copy written
// last: a load, however often, opens no connection of its own. The file
// is written in the background into a new file that then replaces the old
// one in one rename: a power cut leaves the old copy or the new one, never
// half of one. The copy names the server and database it came from and the
// moment it was taken: a copy of another schedule is never played.
class LocalCopy final : public QObject
{
    Q_OBJECT

public:
    // Every row of the schedule's tables, in the order they were stored.
    struct Content
    {
        QList<QVariantList> var;
        QList<QVariantList> test;
        QList<QVariantList> sound;
        // Which recording each name stood for, where the server keeps them.
        bool keepsRecordings = false;
        QList<QVariantList> soundFile;
        friend bool operator==(const Content &, const Content &) = default;
    };

    LocalCopy(QString serverUri, QString path);
    // Waits for the copy being written.
    ~LocalCopy() override;
    Q_DISABLE_COPY_MOVE(LocalCopy)

    const QString &path() const { return m_path; }
    // When the copy of this server's database was taken; invalid without
    // one (no file, another server's or database's, unreadable).
    QDateTime taken() const;
    bool isUsable() const { return taken().isValid(); }

    // Reads the schedule through link, unless a reading is on its way, and
    // writes it when it differs from the copy written last.
    void refresh(ServerLink &link);
    // Waits until the reading and the copy being written, if any, are done.
    void wait();

    // How long the reading may wait for the server; the last of it for a lock.
    static constexpr std::chrono::milliseconds Deadline{10'000};
    static constexpr int LockWaitMs = 5000;

    // One snapshot of the schedule's tables. Throws DbError.
    static Content read(const QSqlDatabase &server);
    // Writes content into a new file at path, as taken now from origin.
    // Throws DbError.
    static void write(const Content &content, const QString &origin, const QString &path);

signals:
    // The schedule read differs from the one read before (the first
    // reading always does): what it names may be worth fetching.
    void changed();

private:
    void written(const Content &content);

    QString m_serverUri;
    QString m_path;
    bool m_reading = false;
    Content m_last;
    bool m_haveLast = false;
    std::mutex m_mutex;
    std::thread m_writer;
    bool m_writing = false;
};
