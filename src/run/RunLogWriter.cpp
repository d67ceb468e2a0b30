#include "run/RunLogWriter.h"

#include <QDir>
#include <QFile>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>

namespace {

// Long enough for a local disk on a busy machine, short enough that a run
// that ends on a hung folder gives back the windows at once.
constexpr std::chrono::milliseconds LastLinesWait(1000);

} // namespace

struct RunLogWriter::Queue
{
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<QByteArray> lines;
    bool closing = false;
    bool done = false;
    std::function<void(const QString &)> failed;
};

namespace {

// Empty when every line was written and flushed, otherwise why not.
QString writeAll(QFile &file, const QString &folder, const std::deque<QByteArray> &lines)
{
    if (!file.isOpen()) {
        if (!QDir().mkpath(folder))
            return QStringLiteral("cannot create the folder");
        if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text))
            return file.errorString();
    }
    for (const QByteArray &line : lines) {
        if (file.write(line) != line.size())
            return file.errorString();
    }
    return file.flush() ? QString() : file.errorString();
}

} // namespace

RunLogWriter::RunLogWriter(QString folder, QString path,
                           std::function<void(const QString &)> failed)
    : m_queue(std::make_shared<Queue>())
{
    m_queue->failed = std::move(failed);
    // Only the queue is shared: the thread may outlive the writer.
    m_thread = std::thread([queue = m_queue, folder = std::move(folder), path = std::move(path)] {
        QFile file(path);
        bool broken = false;
        std::unique_lock lock(queue->mutex);
        for (;;) {
            queue->changed.wait(lock, [&] { return !queue->lines.empty() || queue->closing; });
            if (queue->lines.empty())
                break;
            const std::deque<QByteArray> lines = std::exchange(queue->lines, {});
            lock.unlock();
            QString failure;
            if (!broken) {
                failure = writeAll(file, folder, lines);
                broken = !failure.isEmpty();
                if (broken)
                    file.close();
            }
            lock.lock();
            if (!failure.isEmpty() && queue->failed)
                queue->failed(failure);
        }
        queue->done = true;
        queue->changed.notify_all();
    });
}

RunLogWriter::~RunLogWriter()
{
    std::unique_lock lock(m_queue->mutex);
    // Whoever was told of a failure is going.
    m_queue->failed = nullptr;
    m_queue->closing = true;
    m_queue->changed.notify_all();
    const bool done =
        m_queue->changed.wait_for(lock, LastLinesWait, [this] { return m_queue->done; });
    lock.unlock();
    if (done)
        m_thread.join();
    else
        m_thread.detach();
}

void RunLogWriter::append(QByteArray line)
{
    std::lock_guard lock(m_queue->mutex);
    m_queue->lines.push_back(std::move(line));
    m_queue->changed.notify_all();
}
