#include "data/SoundUploader.h"

#include "data/DbError.h"
#include "data/ServerLink.h"
#include "data/Session.h"
#include "data/SoundStore.h"

#include <QFileInfo>
#include <thread>

SoundUploader::SoundUploader(QString serverUri, QList<File> files)
    : m_server(std::move(serverUri)), m_files(std::move(files))
{}

std::shared_ptr<SoundUploader> SoundUploader::start(QString serverUri, QList<File> files)
{
    std::shared_ptr<SoundUploader> uploader(
        new SoundUploader(std::move(serverUri), std::move(files)));
    // Nothing waits for the thread: the window that started it may give up
    // on a server that stopped answering, and the thread ends within a
    // piece's deadline, at once when cancelled.
    std::thread([uploader] { uploader->work(); }).detach();
    return uploader;
}

void SoundUploader::cancel()
{
    m_link.cancel();
}

void SoundUploader::work()
{
    QString error;
    try {
        m_link.run(m_server, [this](ServerLink &link) { storeAll(link); });
    } catch (const std::exception &failure) {
        error = QString::fromUtf8(failure.what());
    }
    emit finished(error);
}

void SoundUploader::storeAll(ServerLink &link)
{
    // The link connects with its first job: only then is its process known.
    link.run([](Session &) {}, std::chrono::milliseconds(DeadlineMs));
    emit writing(link.serverProcess());
    qint64 total = 0;
    for (const File &file : m_files)
        total += QFileInfo(file.path).size();
    qint64 before = 0;
    for (const File &file : m_files) {
        m_link.check();
        SoundStore::store(link, file.name, file.path, std::chrono::milliseconds(DeadlineMs),
                          [&](qint64 sent, qint64) {
                              m_link.check();
                              emit progress(before + sent, total);
                          });
        before += QFileInfo(file.path).size();
        emit progress(before, total);
    }
}
