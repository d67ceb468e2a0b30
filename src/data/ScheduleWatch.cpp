#include "data/ScheduleWatch.h"

#include "data/ScheduleListener.h"

#include <QThread>

ScheduleWatch::ScheduleWatch(const QString &uri, QObject *parent)
    : QObject(parent), m_thread(new QThread), m_listener(new ScheduleListener(uri))
{
    m_thread->setObjectName(QStringLiteral("ScheduleWatch"));
    m_listener->moveToThread(m_thread);
    connect(m_thread, &QThread::started, m_listener, &ScheduleListener::begin);
    connect(m_listener, &ScheduleListener::changed, this, &ScheduleWatch::changed);
    m_thread->start();
}

ScheduleWatch::~ScheduleWatch()
{
    QThread *thread = m_thread;
    ScheduleListener *listener = m_listener;
    disconnect(listener, nullptr, this, nullptr);
    QMetaObject::invokeMethod(listener, [thread, listener] {
        listener->end();
        delete listener;
        thread->quit();
    });
    // A listener in the middle of connecting finishes on its own (libpq's
    // connect_timeout) and then takes its thread with it.
    if (thread->wait(1000))
        delete thread;
    else
        connect(thread, &QThread::finished, thread, &QObject::deleteLater);
}
