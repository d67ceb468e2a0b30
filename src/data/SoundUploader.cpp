#include "data/SoundUploader.h"

#include "data/DbError.h"
#include "data/SoundStore.h"

#include <QFileInfo>
#include <QSqlDatabase>
#include <atomic>
#include <thread>

namespace {

QString uniqueName()
{
    static std::atomic<int> count = 0;
    return QStringLiteral("SoundUploader-%1").arg(++count);
}

} // namespace

SoundUploader::SoundUploader(QString serverUri, QList<File> files)
    : m_server(std::move(serverUri)), m_files(std::move(files))
{}

std::shared_ptr<SoundUploader> SoundUploader::start(QString serverUri, QList<File> files)
{
    std::shared_ptr<SoundUploader> uploader(
        new SoundUploader(std::move(serverUri), std::move(files)));
    // Nothing waits for the thread: the window that started it may give up
    // on a server that stopped answering, and the thread ends when libpq does.
    std::thread([uploader] { uploader->work(); }).detach();
    return uploader;
}

void SoundUploader::work()
{
    const QString name = uniqueName();
    QString error;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
        try {
            SoundStore::open(db, m_server, StatementTimeoutMs);
            qint64 total = 0;
            for (const File &file : m_files)
                total += QFileInfo(file.path).size();
            qint64 before = 0;
            for (const File &file : m_files) {
                SoundStore::store(db, file.name, file.path, [&](qint64 sent, qint64) {
                    if (m_cancelled)
                        throw DbError(QStringLiteral("cancelled"));
                    emit progress(before + sent, total);
                });
                before += QFileInfo(file.path).size();
                emit progress(before, total);
            }
        } catch (const std::exception &failure) {
            error = QString::fromUtf8(failure.what());
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    emit finished(error);
}
