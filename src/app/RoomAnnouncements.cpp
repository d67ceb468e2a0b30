#include "app/RoomAnnouncements.h"

#include "app/Shell.h"
#include "data/SoundCache.h"
#include "office/Announcements.h"
#include "office/RoomReporter.h"
#include "platform/Clock.h"
#include "platform/Platform.h"
#include "platform/Timer.h"
#include "run/MediaPlayer.h"
#include "run/RunLog.h"
#include "schedule/SoundFetcher.h"
#include "ui/run/TFrm_Subject.h"

#include <QFile>

RoomAnnouncements::RoomAnnouncements(Shell &shell, ServerLink &link, Room room, QObject *parent)
    : QObject(parent), m_shell(shell), m_room(std::move(room)),
      m_device(shell.platform.makeMediaPlayer()), m_timer(new Timer(0, this)),
      m_announcer(*m_device, *m_timer, shell.platform.clock), m_handledBefore(readHandled()),
      m_watch(link, m_room.name, shell.platform.clock)
{
    connect(&m_announcer, &Announcer::started, this,
            [this](const Announcer::Announcement &announcement, qint64, qint64 lengthMs) {
                started(announcement, lengthMs);
            });
    connect(&m_announcer, &Announcer::failed, this,
            [this](const Announcer::Announcement &announcement, const QString &reason) {
                failed(announcement, reason);
            });
    connect(&m_watch, &AnnouncementWatch::changed, this, &RoomAnnouncements::plan);
    connect(&m_watch, &AnnouncementWatch::unavailable, this, [](const QString &reason) {
        qWarning("Tessivox: no announcements from the server: %s", qUtf8Printable(reason));
    });
}

RoomAnnouncements::~RoomAnnouncements() = default;

void RoomAnnouncements::plan(const QList<Announcements::Due> &due)
{
    const SoundCache cache(SoundCache::folderIn(m_room.dataFolder));
    QList<Announcer::Announcement> announcements;
    QSet<qint64> handled = m_handledBefore;
    for (const Announcements::Due &one : due) {
        if (one.reported)
            handled.insert(one.id);
        // Nothing of a row that names no content is fetched or touched.
        const SoundStore::Held held{one.file, one.sha256, one.size};
        announcements << Announcer::Announcement{
            one.id,
            one.second,
            one.text,
            cache.pathFor(one.sha256),
            SoundStore::shownName(one.file, one.sha256),
            SoundCache::isHash(one.sha256) ? QString() : SoundCache::refusal(held)};
    }
    if (m_shell.sounds)
        m_shell.sounds->fetchContent(
            Announcements::toFetch(due, m_shell.platform.clock.now().time(), handled));
    // The log follows the announcer from the first plan on: what the
    // plan's missed ones say goes into it.
    log();
    m_announcer.setPlan(announcements, handled);
}

RunLog &RoomAnnouncements::log()
{
    const Clock &clock = m_shell.platform.clock;
    const QString folder = RunLog::folderIn(m_room.dataFolder);
    const QString today = clock.now().date().toString(QStringLiteral("yyyy-MM-dd"));
    if (!m_log || !m_log->path().endsWith(today + QStringLiteral(".log"))) {
        m_log = std::make_unique<RunLog>(clock, folder);
        m_log->follow(m_announcer);
        if (RoomReporter *reporter = m_shell.reporter)
            m_log->observe([reporter](const RunEvent &event) { reporter->record(event); });
    }
    return *m_log;
}

void RoomAnnouncements::started(const Announcer::Announcement &announcement, qint64 lengthMs)
{
    if (TFrm_Subject *run = m_shell.Frm_Subject; run && run->isVisible())
        run->announce(announcement, lengthMs);
}

void RoomAnnouncements::failed(const Announcer::Announcement &announcement, const QString &reason)
{
    if (TFrm_Subject *run = m_shell.Frm_Subject; run && run->isVisible())
        run->announceFailed(announcement, reason);
}

QSet<qint64> RoomAnnouncements::readHandled() const
{
    // What this program said of an announcement today stands in the day's
    // log, written off the play path by the log's own thread.
    QFile file(RunLog::folderIn(m_room.dataFolder) + QLatin1Char('/') +
               m_shell.platform.clock.now().date().toString(QStringLiteral("yyyy-MM-dd")) +
               QStringLiteral(".log"));
    QSet<qint64> ids;
    if (!file.open(QIODevice::ReadOnly))
        return ids;
    while (!file.atEnd()) {
        const QList<QByteArray> fields = file.readLine().split('\t');
        if (fields.size() > 2 && fields[1].startsWith("announcement ") && fields[2].startsWith('#'))
            ids.insert(fields[2].mid(1).toLongLong());
    }
    return ids;
}
