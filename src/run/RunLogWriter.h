#pragma once

#include <QByteArray>
#include <QString>
#include <functional>
#include <memory>
#include <thread>

// Appends lines to a file from a thread of its own, so that a slow or hung
// folder (a network share) holds up nobody who logs: append() only queues.
// The folder is made and the file opened at the first line.
class RunLogWriter final
{
public:
    // failed is called once, on the writer's thread, with the reason the file
    // could not be made or written; the lines after it are dropped.
    RunLogWriter(QString folder, QString path, std::function<void(const QString &)> failed);
    // Waits a moment for the lines still queued. A folder that hangs longer
    // is left to the thread, which ends once it has written them.
    ~RunLogWriter();
    Q_DISABLE_COPY_MOVE(RunLogWriter)

    void append(QByteArray line);

private:
    struct Queue;

    std::shared_ptr<Queue> m_queue;
    std::thread m_thread;
};
