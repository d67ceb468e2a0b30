#include "office/RoomReporter.h"

#include "data/DbError.h"
#include "data/Query.h"
#include "data/ServerAddress.h"
#include "data/ServerLink.h"
#include "data/Session.h"
#include "office/OfficeSchema.h"
#include "platform/Clock.h"
#include "platform/ThreadPriority.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QSqlQuery>
#include <QUuid>

namespace {

using namespace std::chrono;

constexpr int BatchSize = 200;
// room_events' bounds.
constexpr int MaxFileLength = 1000;
constexpr int MaxReasonLength = 2000;

QString stamp(const QDateTime &time)
{
    return time.toOffsetFromUtc(time.offsetFromUtc()).toString(Qt::ISODateWithMs);
}

// The driver ends the server's text with its SQLSTATE. Class 22 (a bad
// value, a room writing under another's name) and 23 (a broken rule) refuse
// what was sent; class 42 (no right, no function) refuses the room whatever
// it sends; the rest (a timeout, a lost connection) passes.
bool refusedWith(const DbError &error, const QString &classes)
{
    return error.kind() != DbError::Kind::Unreachable &&
           error.text().contains(
               QRegularExpression(QStringLiteral("\\((%1)[0-9A-Z]{3}\\)$").arg(classes)));
}

} // namespace

RoomReporter::RoomReporter(Room room, const Clock &clock, ServerLink *link, QObject *parent)
    : QObject(parent), m_room(std::move(room)), m_clock(clock),
      m_ownLink(link ? nullptr : std::make_unique<ServerLink>(m_room.server)),
      m_link(link ? link : m_ownLink.get()), m_journal(m_room.logFolder),
      m_thread([this] { work(); })
{}

RoomReporter::~RoomReporter()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_one();
    m_link->stop();
    m_thread.join();
}

QString RoomReporter::nameProblem(const QString &name)
{
    const qsizetype bytes = name.toUtf8().size();
    if (bytes <= MaxNameBytes)
        return {};
    return QStringLiteral(
               "考场名称过长：服务器上的用户名最多 %1 字节（约 21 个汉字），"
               "“%2”有 %3 字节。请改短 tessivox.ini 的 [room] name（或 TESSIVOX_ROOM）。\n"
               "The room's name is %3 bytes in UTF-8; the server cuts names "
               "beyond %1 bytes.")
        .arg(MaxNameBytes)
        .arg(name)
        .arg(bytes);
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
            // Whatever the room's clock says: the server orders runs by
            // when it received them.
            m_runId = QUuid::createUuid().toString(QUuid::WithoutBraces);
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
        // Cut to what the server takes: a long path or a library's long
        // text must not cost the event.
        if (!event.file.isEmpty())
            row.insert(QStringLiteral("file"), event.file.left(MaxFileLength));
        if (!event.reason.isEmpty())
            row.insert(QStringLiteral("reason"), event.reason.left(MaxReasonLength));
        if (event.announcement)
            row.insert(QStringLiteral("announcement"), double(*event.announcement));
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
    try {
        ServerAddress::check(m_room.server);
    } catch (const DbError &error) {
        // Events still go to the journal, for a program with a usable address.
        note({QStringLiteral("office cannot see this room"), error.text()});
        return;
    }
    {
        const std::lock_guard lock(m_mutex);
        m_refused = m_journal.lastRefusal().left(OfficeSchema::MaxRefusedLength);
    }
    std::unique_lock lock(m_mutex);
    while (!m_stopping) {
        lock.unlock();
        const Moment rest = talk();
        lock.lock();
        m_wake.wait_until(lock, rest, [this] { return m_stopping || m_woken; });
        m_woken = false;
    }
}

RoomReporter::Moment RoomReporter::talk()
{
    m_journal.sync();
    if (!m_journal.error().isEmpty() && !m_journalFailSaid) {
        m_journalFailSaid = true;
        note({QStringLiteral("office journal unwritable"), m_journal.error()});
    }
    // Also while the server is away or refuses the room.
    if (const int dropped = m_journal.compact(); dropped > 0)
        note({QStringLiteral("office journal full"),
              QStringLiteral("%1 events of earlier runs dropped, still in their run logs")
                  .arg(dropped)});
    const Moment now = steady_clock::now();
    bool connected = false;
    try {
        Moment rest{};
        m_link->run(
            [&](Session &session) {
                connected = true;
                session.waitFor(StatementWaitMs);
                rest = round(session.db(), now);
            },
            RoundDeadline);
        return rest;
    } catch (const DbError &error) {
        {
            // The link was stopped for the program's end: nothing was lost.
            const std::lock_guard lock(m_mutex);
            if (m_stopping)
                return now;
        }
        // A server that answers and refuses (no right to the functions, say)
        // will not change its mind by itself: whoever reads the log should
        // know. Away or refusing, the journal keeps everything.
        if (connected && !m_refusalSaid && refusedWith(error, QStringLiteral("42"))) {
            m_refusalSaid = true;
            note({QStringLiteral("office cannot see this room"), error.text()});
        }
        // Said once a loss: the run plays on from the rows it holds, and
        // whoever reads the log afterwards should see when the room was cut off.
        if (!m_serverLost && (!connected || error.kind() == DbError::Kind::Unreachable ||
                              error.kind() == DbError::Kind::NoAnswer)) {
            m_serverLost = true;
            note({QStringLiteral("server lost"), error.text()});
        }
        m_tablesSeen = false;
        return now + milliseconds(m_room.retryMs);
    }
}

RoomReporter::Moment RoomReporter::round(const QSqlDatabase &db, Moment now)
{
    if (m_serverLost) {
        m_serverLost = false;
        note({QStringLiteral("server back")});
    }
    if (!m_tablesSeen) {
        const QStringList missing = OfficeSchema::missingForReports(db);
        if (!missing.isEmpty()) {
            if (!m_blindSaid)
                note({QStringLiteral("office cannot see this room"),
                      QStringLiteral("the server lacks %1 (tessivox-db upgrade adds it)")
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
    if (sendJournal(db))
        updateRow(db);
    return std::min(m_rowDue, m_clockDue);
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

QString RoomReporter::nameTakenText(const QString &room, const QString &host)
{
    return QStringLiteral("另一台电脑（%2）正以考场名称“%1”向服务器报告，考务办公室看不到本机。"
                          "请改正其中一台电脑 tessivox.ini 的 [room] name（或 TESSIVOX_ROOM）。")
        .arg(room, host);
}

bool RoomReporter::claimName(const QSqlDatabase &db)
{
    QString other;
    try {
        QSqlQuery query = Query::run(db, {QStringLiteral("SELECT room_pc(?, ?, ?)"),
                                          {m_room.name, m_room.pcId, m_room.pcHost}});
        other = query.next() ? query.value(0).toString() : QString();
    } catch (const DbError &error) {
        // A server not upgraded, or grants from before: the reports go on,
        // only a second PC under this name goes unnoticed.
        if (!refusedWith(error, QStringLiteral("22|42")))
            throw;
        if (!m_pcUnknownSaid)
            note({QStringLiteral("office cannot tell this PC from another of its name"),
                  error.text()});
        m_pcUnknownSaid = true;
        return true;
    }
    if (other.isEmpty()) {
        m_nameTakenSaid = false;
        return true;
    }
    if (!m_nameTakenSaid) {
        note({QStringLiteral("room name taken"), other});
        emit nameTaken(nameTakenText(m_room.name, other));
    }
    m_nameTakenSaid = true;
    return false;
}

void RoomReporter::updateRow(const QSqlDatabase &db)
{
    if (!claimName(db))
        return;
    // The server stamps last_seen: a dead room cannot stay seen.
    Statement report{
        QStringLiteral("SELECT room_report(?, ?, ?, ?, ?::integer, ?, ?::integer, ?::integer)"),
        {}};
    // The refusal stays a problem for the office until someone moved the
    // refused events away.
    const bool refusedKept = QFile::exists(m_journal.refusedPath());
    {
        const std::lock_guard lock(m_mutex);
        if (!refusedKept)
            m_refused.clear();
        const QVariant none(QMetaType(QMetaType::QString));
        const QVariant noNumber(QMetaType(QMetaType::Int));
        report.values = {m_room.name, m_room.version,
                         m_running ? QStringLiteral("running") : QStringLiteral("idle"),
                         m_running ? QVariant(m_subject) : none,
                         m_offsetMs ? QVariant(int(*m_offsetMs)) : noNumber,
                         m_refused.isEmpty() ? none : QVariant(m_refused),
                         // Unknown until the fetcher's first look: the office
                         // keeps what the room said last.
                         m_soundFiles ? QVariant(m_soundFiles->first) : noNumber,
                         m_soundFiles ? QVariant(m_soundFiles->second) : noNumber};
        m_rowChanged = false;
    }
    try {
        Query::run(db, report);
    } catch (const DbError &error) {
        // A row refused (another room's name, say) keeps nothing from being
        // sent: the events still go, or are set aside one by one.
        if (!refusedWith(error, QStringLiteral("22|23|42")))
            throw;
        if (!m_rowRefusalSaid)
            note({QStringLiteral("office cannot see this room"), error.text()});
        m_rowRefusalSaid = true;
    }
}

bool RoomReporter::sendJournal(const QSqlDatabase &db)
{
    bool refused = false;
    for (;;) {
        QList<RoomJournal::Entry> entries = m_journal.pending(BatchSize);
        if (entries.isEmpty())
            return refused;
        const qint64 end = entries.last().end;
        // Unreadable lines (a torn write) are passed over as accepted.
        entries.removeIf([](const RoomJournal::Entry &entry) {
            return !entry.event.value(QStringLiteral("seq")).isDouble();
        });
        refused = send(db, entries) || refused;
        m_journal.accepted(end);
    }
}

bool RoomReporter::send(const QSqlDatabase &db, const QList<RoomJournal::Entry> &entries)
{
    if (entries.isEmpty())
        return false;
    QJsonArray events;
    for (const RoomJournal::Entry &entry : entries)
        events.append(entry.event);
    try {
        Query::run(db, {QStringLiteral("SELECT room_events(?::jsonb)"),
                        {QString::fromUtf8(QJsonDocument(events).toJson(QJsonDocument::Compact))}});
        return false;
    } catch (const DbError &error) {
        if (!refusedWith(error, QStringLiteral("22|23")))
            throw;
        if (entries.size() > 1) {
            // Halves until the refused ones are found: the rest go.
            const qsizetype half = entries.size() / 2;
            const bool first = send(db, entries.first(half));
            return send(db, entries.sliced(half)) || first;
        }
        m_journal.setAside(entries.first().event, error.text());
        {
            const std::lock_guard lock(m_mutex);
            m_refused = error.text().left(OfficeSchema::MaxRefusedLength);
            m_rowChanged = true;
        }
        if (!m_eventRefusalSaid)
            note({QStringLiteral("some events refused"), error.text(),
                  QStringLiteral("kept in ") + m_journal.refusedPath()});
        m_eventRefusalSaid = true;
        return true;
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
