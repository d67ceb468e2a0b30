#include "platform/SingleInstance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>

namespace {

// One name for one folder, however it was written.
QString serverName(const QString &folder)
{
    const QByteArray path = QDir(folder).canonicalPath().toUtf8();
    return QStringLiteral("tessivox-") +
           QString::fromLatin1(
               QCryptographicHash::hash(path, QCryptographicHash::Sha1).toHex().left(16));
}

} // namespace

SingleInstance::SingleInstance(const QString &dataFolder, QObject *parent)
    : QObject(parent), m_folder(dataFolder), m_lock(dataFolder + QStringLiteral("/tessivox.lock"))
{
    // Only a holder that is gone makes the lock stale, however long the
    // exam day: a running copy keeps it.
    m_lock.setStaleLockTime(0);
}

SingleInstance::~SingleInstance() = default;

bool SingleInstance::claim()
{
    if (!QDir().mkpath(m_folder)) {
        m_error = m_folder + QStringLiteral(": cannot create the folder");
        return false;
    }
    m_name = serverName(m_folder);
    if (m_lock.tryLock(0)) {
        listen();
        return true;
    }
    if (m_lock.error() == QLockFile::LockFailedError) {
        raiseOther();
        return false;
    }
    // Unwritable: the one sign of another copy is its listening.
    if (raiseOther())
        return false;
    m_warning = QStringLiteral("数据文件夹不能写入（%1），无法察觉同一文件夹上是否另有一个 "
                               "Tessivox 在运行。考试照常进行。")
                    .arg(QDir::toNativeSeparators(m_lock.fileName()));
    listen();
    return true;
}

bool SingleInstance::raiseOther() const
{
    QLocalSocket socket;
    socket.connectToServer(m_name);
    if (!socket.waitForConnected(1000))
        return false;
    socket.write("raise\n");
    socket.waitForBytesWritten(1000);
    return true;
}

void SingleInstance::listen()
{
    // Nobody answers to the name: one left behind by a killed copy is stale.
    QLocalServer::removeServer(m_name);
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *socket = m_server->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            emit raiseRequested();
        }
    });
    // Without the server the lock still guards the journal; the second
    // copy then only says so.
    m_server->listen(m_name);
}
