#include "data/ScheduleListener.h"

#include "data/ScheduleNotice.h"
#include "data/ServerAddress.h"
#include "data/TDataModule1.h"

#include <QSqlDatabase>
#include <QSqlDriver>
#include <QTimer>
#include <atomic>
#include <utility>

namespace {

QString uniqueConnectionName()
{
    static std::atomic<int> count = 0;
    return QStringLiteral("ScheduleListener-%1").arg(++count);
}

} // namespace

ScheduleListener::ScheduleListener(QString uri)
    : m_uri(TDataModule1::withNetworkLimits(uri)), m_name(uniqueConnectionName())
{}

ScheduleListener::~ScheduleListener() = default;

void ScheduleListener::begin()
{
    m_check = new QTimer(this);
    m_safety = new QTimer(this);
    m_gather = new QTimer(this);
    m_gather->setSingleShot(true);
    connect(m_gather, &QTimer::timeout, this, [this] {
        for (const qint64 writer : std::exchange(m_writers, {}))
            emit changed(writer);
    });
    connect(m_check, &QTimer::timeout, this, &ScheduleListener::check);
    connect(m_safety, &QTimer::timeout, this, [this] { emit changed(0); });
    m_safety->start(SafetyMs);
    listen();
}

void ScheduleListener::end()
{
    m_check->stop();
    m_safety->stop();
    m_gather->stop();
    QSqlDatabase::database(m_name, false).close();
    QSqlDatabase::removeDatabase(m_name);
}

void ScheduleListener::listen()
{
    QSqlDatabase::removeDatabase(m_name);
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), m_name);
    try {
        ServerAddress::configure(db, m_uri);
    } catch (const std::exception &error) {
        // The data module refuses the same address and says why.
        qWarning("Tessivox: no notice of schedule changes: %s", error.what());
        return;
    }
    // libpq's connect_timeout bounds this wait, on this thread only.
    if (!db.open() || !db.driver()->subscribeToNotification(ScheduleNotice::Channel)) {
        m_listening = false;
        m_check->start(RetryMs);
        return;
    }
    connect(db.driver(), &QSqlDriver::notification, this,
            [this](const QString &, QSqlDriver::NotificationSource, const QVariant &payload) {
                m_writers.insert(payload.toLongLong());
                if (!m_gather->isActive())
                    m_gather->start(GatherMs);
            });
    m_listening = true;
    try {
        if (!ScheduleNotice::exists(db))
            qWarning("Tessivox: the server sends no notice of schedule changes: run tessivox-db "
                     "upgrade on it");
    } catch (const std::exception &) {
        // Found out again at the next connection.
    }
    // The driver notices a broken connection only as its socket reports it;
    // asking whether it still stands costs nothing on the network.
    m_check->start(1000);
    // Whatever changed while nobody listened (at start, or while the server
    // was away) is read now.
    emit changed(0);
}

void ScheduleListener::check()
{
    if (m_listening && QSqlDatabase::database(m_name, false).isOpen())
        return;
    QSqlDatabase::database(m_name, false).close();
    listen();
}
