#include "office/RoomJournal.h"

#include <QDir>
#include <QJsonDocument>
#include <QSaveFile>

#ifdef Q_OS_WIN
#include <io.h>
#else
#include <unistd.h>
#endif

RoomJournal::RoomJournal(const QString &folder)
    : m_folder(folder), m_file(folder + QStringLiteral("/office.journal"))
{}

bool RoomJournal::openLocked()
{
    if (m_file.isOpen())
        return true;
    if (!QDir().mkpath(m_folder)) {
        m_error = m_folder + QStringLiteral(": cannot create the folder");
        return false;
    }
    // Unbuffered: each event reaches the system with its write, so that a
    // killed program has lost none.
    if (!m_file.open(QIODevice::ReadWrite | QIODevice::Append | QIODevice::Unbuffered)) {
        m_error = path() + QStringLiteral(": ") + m_file.errorString();
        return false;
    }
    // A line cut short by a power cut stays a line of its own, unread.
    if (const qint64 size = m_file.size(); size > 0) {
        QFile reader(path());
        if (reader.open(QIODevice::ReadOnly) && reader.seek(size - 1) &&
            reader.read(1) != QByteArrayLiteral("\n"))
            m_file.write("\n");
    }
    return true;
}

bool RoomJournal::append(const QJsonObject &event)
{
    const QByteArray line = QJsonDocument(event).toJson(QJsonDocument::Compact) + '\n';
    QMutexLocker lock(&m_mutex);
    if (!openLocked())
        return false;
    if (m_file.write(line) != line.size()) {
        m_error = path() + QStringLiteral(": ") + m_file.errorString();
        return false;
    }
    return true;
}

QString RoomJournal::error() const
{
    QMutexLocker lock(&m_mutex);
    return m_error;
}

QList<RoomJournal::Entry> RoomJournal::pending(int max)
{
    QList<Entry> entries;
    qint64 size = 0;
    {
        QMutexLocker lock(&m_mutex);
        if (!openLocked())
            return entries;
        size = m_file.size();
    }
    // Only this thread moves the mark or empties the journal; appends only
    // add beyond size. So the reading needs no lock, and the run's thread
    // never waits for it.
    if (m_accepted < 0)
        m_accepted = readAccepted();
    // An offset beyond the end is from before a truncation that a crash
    // interrupted: everything left is unsent.
    if (m_accepted > size)
        m_accepted = 0;
    QFile reader(path());
    if (!reader.open(QIODevice::ReadOnly) || !reader.seek(m_accepted))
        return entries;
    qint64 position = m_accepted;
    while (entries.size() < max && position < size) {
        const QByteArray line = reader.readLine();
        if (!line.endsWith('\n'))
            break;
        position += line.size();
        const QJsonDocument document = QJsonDocument::fromJson(line);
        // Unreadable lines (a torn write) are passed over as accepted.
        entries.append({document.isObject() ? document.object() : QJsonObject(), position});
    }
    return entries;
}

void RoomJournal::sync()
{
    int handle = -1;
    {
        QMutexLocker lock(&m_mutex);
        handle = m_file.isOpen() ? m_file.handle() : -1;
    }
    // Outside the lock: a flush to disk may take a while, and an append
    // from the run's thread must not wait for it. The file stays open.
    if (handle < 0)
        return;
#ifdef Q_OS_WIN
    _commit(handle);
#else
    fdatasync(handle);
#endif
}

bool RoomJournal::isWhole(qint64 end)
{
    QMutexLocker lock(&m_mutex);
    return end == m_file.size();
}

void RoomJournal::accepted(qint64 end)
{
    if (isWhole(end)) {
        // The mark goes back to the start before the journal is emptied: a
        // crash in between sends everything again, which the server ignores,
        // rather than skipping events appended after the truncation.
        writeAccepted(0);
        QMutexLocker lock(&m_mutex);
        if (end == m_file.size()) {
            m_file.resize(0);
            m_accepted = 0;
            return;
        }
    }
    writeAccepted(end);
    m_accepted = end;
}

qint64 RoomJournal::readAccepted() const
{
    QFile mark(m_folder + QStringLiteral("/office.sent"));
    if (!mark.open(QIODevice::ReadOnly))
        return 0;
    bool ok = false;
    const qint64 value = mark.readAll().trimmed().toLongLong(&ok);
    return ok && value >= 0 ? value : 0;
}

void RoomJournal::writeAccepted(qint64 end)
{
    QSaveFile mark(m_folder + QStringLiteral("/office.sent"));
    if (mark.open(QIODevice::WriteOnly)) {
        mark.write(QByteArray::number(end) + '\n');
        mark.commit();
    }
}
