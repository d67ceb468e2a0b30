#include "office/RoomReporter.h"

#include "data/DbError.h"
#include "data/Query.h"
#include "office/OfficeSchema.h"
#include "office/ServerConnection.h"
#include "platform/Clock.h"
#include "platform/ThreadPriority.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSqlQuery>

namespace {

using namespace std::chrono;

constexpr int BatchSize = 200;

QString stamp(const QDateTime &time)
{
    return time.toOffsetFromUtc(time.offsetFromUtc()).toString(Qt::ISODateWithMs);
}

QVariant textOrNull(const QJsonValue &value)
{
    return value.isString() ? QVariant(value.toString()) : QVariant(QMetaType(QMetaType::QString));
}

} // namespace

RoomReporter::RoomReporter(Room room, const Clock &clock, QObject *parent)
    : QObject(parent), m_room(std::move(room)), m_clock(clock), m_journal(m_room.logFolder),
      m_thread([this] { work(); })
{}

RoomReporter::~RoomReporter()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_one();
    m_thread.join();
}

std::optional<qint64> RoomReporter::clockOffsetMs() const
{
    const std::lock_guard lock(m_mutex);
    return m_offsetMs;
}

void RoomReporter::record(const RunEvent &event)
{
    QJsonObject row;
    {
        const std::lock_guard lock(m_mutex);
        if (event.kind == QLatin1String("run started") || m_runId.isEmpty()) {
            // Unique for the room as long as its runs start a millisecond
            // apart, and in the order they started.
            m_runId = event.at.toUTC().toString(Qt::ISODateWithMs);
            m_seq = 0;
        }
        if (event.kind == QLatin1String("run started")) {
            m_subject = event.subject;
            m_running = true;
            m_rowChanged = true;
        } else if (event.kind == QLatin1String("run ended")) {
            m_running = false;
            m_rowChanged = true;
        }
        row = {{QStringLiteral("room"), m_room.name}, {QStringLiteral("run"), m_runId},
               {QStringLiteral("seq"), ++m_seq},      {QStringLiteral("at"), stamp(event.at)},
               {QStringLiteral("kind"), event.kind},  {QStringLiteral("subject"), m_subject}};
        if (event.second.isValid())
            row.insert(QStringLiteral("second"), event.second.toString(QStringLiteral("HH:mm:ss")));
        if (event.delayMs)
            row.insert(QStringLiteral("delay"), double(*event.delayMs));
        if (!event.file.isEmpty())
            row.insert(QStringLiteral("file"), event.file);
        if (!event.reason.isEmpty())
            row.insert(QStringLiteral("reason"), event.reason);
        m_woken = true;
    }
    m_journal.append(row);
    m_wake.notify_one();
}

void RoomReporter::setSoundFiles(int held, int named)
{
    {
        const std::lock_guard lock(m_mutex);
        if (m_soundFiles == std::pair(held, named))
            return;
        m_soundFiles = std::pair(held, named);
        m_rowChanged = true;
        m_woken = true;
    }
    m_wake.notify_one();
}

void RoomReporter::work()
{
    ThreadPriority::backgroundCurrent();
    std::optional<ServerConnection> server;
    try {
        server.emplace(m_room.server);
    } catch (const DbError &error) {
        // Events still go to the journal, for a program with a usable address.
        note({QStringLiteral("office cannot see this room"), error.text()});
        return;
    }
    std::unique_lock lock(m_mutex);
    while (!m_stopping) {
        lock.unlock();
        const Moment rest = talk(*server);
        lock.lock();
        m_wake.wait_until(lock, rest, [this] { return m_stopping || m_woken; });
        m_woken = false;
    }
}

RoomReporter::Moment RoomReporter::talk(ServerConnection &server)
{
    m_journal.sync();
    if (!m_journal.error().isEmpty() && !m_journalFailSaid) {
        m_journalFailSaid = true;
        note({QStringLiteral("office journal unwritable"), m_journal.error()});
    }
    const Moment now = steady_clock::now();
    bool connected = false;
    try {
        const QSqlDatabase db = server.open();
        connected = true;
        if (m_serverLost) {
            m_serverLost = false;
            note({QStringLiteral("server back")});
        }
        if (!m_tablesSeen) {
            const QStringList missing = OfficeSchema::missing(db);
            if (!missing.isEmpty()) {
                if (!m_blindSaid)
                    note({QStringLiteral("office cannot see this room"),
                          QStringLiteral("the server has no table %1 (tessivox-db upgrade adds it)")
                              .arg(missing.join(QStringLiteral(", ")))});
                m_blindSaid = true;
                return now + milliseconds(m_room.heartbeatMs);
            }
            m_tablesSeen = true;
        }
        if (now >= m_clockDue) {
            measureClock(db);
            m_clockDue = now + milliseconds(m_room.clockEveryMs);
        }
        bool rowDue = now >= m_rowDue;
        {
            const std::lock_guard lock(m_mutex);
            rowDue = rowDue || m_rowChanged;
        }
        if (rowDue) {
            updateRow(db);
            m_rowDue = now + milliseconds(m_room.heartbeatMs);
        }
        sendJournal(db);
        return std::min(m_rowDue, m_clockDue);
    } catch (const DbError &error) {
        // A server that answers and refuses (no right to the tables, say)
        // will not change its mind by itself: whoever reads the log should
        // know. Away or refusing, the journal keeps everything.
        // The driver ends the server's text with its SQLSTATE; class 42 is
        // a refusal (rights, rules), unlike a connection lost on the way.
        static const QRegularExpression refusal(QStringLiteral("\\(42[0-9A-Z]{3}\\)"));
        if (connected && !m_refusalSaid && error.text().contains(refusal)) {
            m_refusalSaid = true;
            note({QStringLiteral("office cannot see this room"), error.text()});
        }
        // Said once a loss: the run plays on from the rows it holds, and
        // whoever reads the log afterwards should see when the room was cut off.
        if (!m_serverLost && (!connected || error.kind() == DbError::Kind::Unreachable)) {
            m_serverLost = true;
            note({QStringLiteral("server lost"), error.text()});
        }
        server.close();
        m_tablesSeen = false;
        return now + milliseconds(m_room.retryMs);
    }
}

void RoomReporter::measureClock(const QSqlDatabase &db)
{
    const ClockOffset offset = ClockOffset::measure(db, m_clock);
    {
        const std::lock_guard lock(m_mutex);
        m_offsetMs = offset.offsetMs;
        m_rowChanged = true;
    }
    note({QStringLiteral("clock offset"),
          QStringLiteral("%1%2 ms").arg(offset.offsetMs < 0 ? "" : "+").arg(offset.offsetMs),
          QStringLiteral("round trip %1 ms").arg(offset.roundTripMs)});
    emit clockOffsetMeasured(offset.offsetMs);
}

void RoomReporter::updateRow(const QSqlDatabase &db)
{
    Statement upsert{
        QStringLiteral(
            "INSERT INTO room (name, version, last_seen, state, subject, clock_offset_ms) "
            "VALUES (?, ?, now(), ?, ?, ?) ON CONFLICT (name) DO UPDATE SET "
            "version = excluded.version, last_seen = excluded.last_seen, "
            "state = excluded.state, subject = excluded.subject, "
            "clock_offset_ms = coalesce(excluded.clock_offset_ms, room.clock_offset_ms)"),
        {}};
    Statement sounds;
    {
        const std::lock_guard lock(m_mutex);
        upsert.values = {m_room.name, m_room.version,
                         m_running ? QStringLiteral("running") : QStringLiteral("idle"),
                         m_running ? QVariant(m_subject) : QVariant(QMetaType(QMetaType::QString)),
                         m_offsetMs ? QVariant(int(*m_offsetMs))
                                    : QVariant(QMetaType(QMetaType::Int))};
        m_rowChanged = false;
        // Known only on a server that keeps recordings, which has the columns.
        if (m_soundFiles)
            sounds = {QStringLiteral("UPDATE room SET sound_files_held = ?, sound_files_named = ? "
                                     "WHERE name = ?"),
                      {m_soundFiles->first, m_soundFiles->second, m_room.name}};
    }
    Query::run(db, upsert);
    if (!sounds.sql.isEmpty())
        Query::run(db, sounds);
}

void RoomReporter::sendJournal(const QSqlDatabase &db)
{
    for (;;) {
        const QList<RoomJournal::Entry> entries = m_journal.pending(BatchSize);
        if (entries.isEmpty())
            return;
        Statement insert{QStringLiteral("INSERT INTO room_event (room, run_id, seq, at, kind, "
                                        "subject, second, delay_ms, file, reason) VALUES "),
                         {}};
        QStringList rows;
        for (const RoomJournal::Entry &entry : entries) {
            const QJsonObject &e = entry.event;
            if (e.isEmpty() || !e.value(QStringLiteral("seq")).isDouble())
                continue;
            rows << QStringLiteral("(?, ?, ?, ?::timestamptz, ?, ?, ?::time, ?::bigint, ?, ?)");
            insert.values << e.value(QStringLiteral("room")).toString()
                          << e.value(QStringLiteral("run")).toString()
                          << e.value(QStringLiteral("seq")).toInt()
                          << e.value(QStringLiteral("at")).toString()
                          << e.value(QStringLiteral("kind")).toString()
                          << textOrNull(e.value(QStringLiteral("subject")))
                          << textOrNull(e.value(QStringLiteral("second")))
                          << (e.contains(QStringLiteral("delay"))
                                  ? QVariant(qint64(e.value(QStringLiteral("delay")).toDouble()))
                                  : QVariant(QMetaType(QMetaType::LongLong)))
                          << textOrNull(e.value(QStringLiteral("file")))
                          << textOrNull(e.value(QStringLiteral("reason")));
        }
        if (!rows.isEmpty()) {
            insert.sql += rows.join(QStringLiteral(", ")) +
                          QStringLiteral(" ON CONFLICT (room, run_id, seq) DO NOTHING");
            Query::run(db, insert);
        }
        m_journal.accepted(entries.last().end);
    }
}

void RoomReporter::note(const QStringList &fields)
{
    const QDateTime now = m_clock.now();
    QFile log(m_room.logFolder + QLatin1Char('/') +
              now.date().toString(QStringLiteral("yyyy-MM-dd")) + QStringLiteral(".log"));
    if (!QDir().mkpath(m_room.logFolder) ||
        !log.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text))
        return;
    QString line = (QStringList{stamp(now)} + fields).join(QLatin1Char('\t'));
    // A server's text may run over several lines; the log's line may not.
    line.replace(QLatin1Char('\n'), QLatin1Char(' ')).replace(QLatin1Char('\r'), QLatin1Char(' '));
    log.write(line.toUtf8() + '\n');
}
