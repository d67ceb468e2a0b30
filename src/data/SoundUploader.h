#pragma once

#include "data/CancellableLink.h"

#include <QList>
#include <QObject>
#include <QString>
#include <memory>

class ServerLink;

// Stores recordings on the centre's server off the windows' thread, each
// file in a transaction of its own, on a link of its own (ServerLink, a
// second connection for as long as it stores), a piece a job under a
// deadline. A window waits for finished() and may
// cancel() meanwhile, or stop waiting: the thread holds the object until it
// is done, so that a server that stopped answering costs the window nothing.
class SoundUploader final : public QObject
{
    Q_OBJECT

public:
    struct File
    {
        QString name;
        QString path;
    };
    // For each piece, and the look before and the commit after.
    static constexpr int DeadlineMs = 60'000;

    ~SoundUploader() override = default;
    Q_DISABLE_COPY_MOVE(SoundUploader)

    // Starts storing; connect to the signals of the object returned at once
    // (nothing is emitted before the first file's first piece is read).
    static std::shared_ptr<SoundUploader> start(QString serverUri, QList<File> files);
    // The file being sent is rolled back, also while its piece waits for a
    // server that stopped answering; none after it is sent.
    void cancel();

signals:
    // From the uploading thread, before it writes: the server process that
    // stores the files, whose notices of the change are the window's own.
    void writing(qint64 serverProcess);
    // From the uploading thread: bytes of all files read so far, of total.
    void progress(qint64 done, qint64 total);
    // From the uploading thread, once: empty error when all are stored.
    void finished(const QString &error);

private:
    SoundUploader(QString serverUri, QList<File> files);
    void work();
    void storeAll(ServerLink &link);

    const QString m_server;
    const QList<File> m_files;
    CancellableLink m_link;
};
