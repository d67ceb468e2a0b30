#pragma once

#include <QDateTime>
#include <QString>
#include <mutex>
#include <thread>

// This PC's copy of the schedule it last read from the server: an SQLite
// database with the same tables, which a room plays from when the server
// cannot be reached. It is written in the background, on a connection of
// its own, into a new file that then replaces the old one in one rename: a
// power cut leaves the old copy or the new one, never half of one.
class LocalCopy final
{
public:
    LocalCopy(QString serverUri, QString path);
    ~LocalCopy();
    Q_DISABLE_COPY_MOVE(LocalCopy)

    const QString &path() const { return m_path; }
    bool exists() const;
    // When the copy was taken; invalid without a copy.
    QDateTime taken() const;

    // Starts writing a new copy unless one is being written already.
    void refresh();
    // Waits until the copy being written, if any, is in place.
    void wait();

    // Copies the server's tables into a new file at path. Throws DbError.
    static void write(const QString &serverUri, const QString &path);

private:
    QString m_serverUri;
    QString m_path;
    std::mutex m_mutex;
    std::thread m_writer;
    bool m_writing = false;
};
