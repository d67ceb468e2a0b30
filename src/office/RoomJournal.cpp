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
    checkMark(size);
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

void RoomJournal::checkMark(qint64 size)
{
    if (m_accepted < 0)
        m_accepted = readAccepted();
    // An offset beyond the end or inside a line comes from before a
    // truncation a crash interrupted, or from another process: nothing says
    // which events went, so all go again, which the server ignores.
    if (!isLineStart(m_accepted, size))
        m_accepted = 0;
}

bool RoomJournal::isLineStart(qint64 offset, qint64 size) const
{
    if (offset == 0)
        return true;
    if (offset > size)
        return false;
    QFile reader(path());
    return reader.open(QIODevice::ReadOnly) && reader.seek(offset - 1) &&
           reader.read(1) == QByteArrayLiteral("\n");
}

int RoomJournal::compact()
{
    qint64 size = 0;
    {
        QMutexLocker lock(&m_mutex);
        if (!m_file.isOpen())
            return 0;
        size = m_file.size();
    }
    checkMark(size);
    const qint64 start = m_accepted;
    if (start < RotateBytes && size - start <= CapBytes)
        return 0;
    QFile reader(path());
    if (!reader.open(QIODevice::ReadOnly) || !reader.seek(start))
        return 0;
    QList<QByteArray> lines;
    while (reader.pos() < size) {
        const QByteArray line = reader.readLine();
        if (!line.endsWith('\n'))
            break;
        lines.append(line);
    }
    int dropped = 0;
    const QString lastRun =
        lines.isEmpty() ? QString()
                        : QJsonDocument::fromJson(lines.last()).object().value("run").toString();
    // Down to half the cap, so that the next compaction is far off.
    qint64 kept = size - start;
    while (kept > CapBytes / 2 && size - start > CapBytes && !lines.isEmpty() &&
           QJsonDocument::fromJson(lines.first()).object().value("run").toString() != lastRun) {
        kept -= lines.takeFirst().size();
        ++dropped;
    }
    QSaveFile next(path());
    if (!next.open(QIODevice::WriteOnly))
        return 0;
    for (const QByteArray &line : lines)
        next.write(line);
    // The mark goes back to the start first: a crash before the new journal
    // is in place sends the old one again, never skips an event.
    writeAccepted(0);
    m_accepted = 0;
    QMutexLocker lock(&m_mutex);
    // What the run appended meanwhile follows, under the lock, so the run's
    // next append lands in the new journal.
    reader.seek(size);
    next.write(reader.readAll());
    // Both closed first: Windows replaces no file that is open.
    reader.close();
    m_file.close();
    const bool done = next.commit();
    openLocked();
    return done ? dropped : 0;
}

void RoomJournal::setAside(const QJsonObject &event, const QString &reason)
{
    QJsonObject kept = event;
    kept.insert(QStringLiteral("refused"), reason);
    QFile file(refusedPath());
    if (file.open(QIODevice::WriteOnly | QIODevice::Append))
        file.write(QJsonDocument(kept).toJson(QJsonDocument::Compact) + '\n');
}

QString RoomJournal::lastRefusal() const
{
    QFile file(refusedPath());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QList<QByteArray> lines = file.readAll().trimmed().split('\n');
    return QJsonDocument::fromJson(lines.last()).object().value("refused").toString();
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
