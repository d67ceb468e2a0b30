#pragma once

#include <QString>

// A new, empty file beside a target, to be filled under its own name and
// renamed onto the target when whole. QTemporaryFile keeps its handle open
// after close() so that it can reopen; Windows refuses to rename a file
// anyone holds open, so the name is reserved here and the handle let go at
// once. The file is removed when the object goes unless it was kept.
class StagingFile
{
public:
    // Throws DbError naming the folder when no file can be made there.
    explicit StagingFile(const QString &target);
    ~StagingFile();
    StagingFile(const StagingFile &) = delete;
    StagingFile &operator=(const StagingFile &) = delete;

    QString path() const { return m_path; }
    // Renames the file onto target, replacing what is there when replace;
    // the reason on failure (the file is then still removed at the end).
    QString moveTo(const QString &target, bool replace);

private:
    QString m_path;
    bool m_moved = false;
};
