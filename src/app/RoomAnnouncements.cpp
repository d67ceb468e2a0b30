#include "app/RoomAnnouncements.h"

#include "app/Shell.h"
#include "data/SoundCache.h"
#include "data/SoundFetcher.h"
#include "office/Announcements.h"
#include "office/RoomReporter.h"
#include "platform/Clock.h"
#include "platform/Platform.h"
#include "platform/Timer.h"
#include "run/MediaPlayer.h"
#include "run/RunLog.h"
#include "ui/run/TFrm_Subject.h"

#include <QDir>
#include <QFile>
#include <QTimer>

namespace {

const QString HandledFile = QStringLiteral("/office.announced");

} // namespace

RoomAnnouncements::RoomAnnouncements(Shell &shell, ServerLink &link, Room room, QObject *parent)
    : QObject(parent), m_shell(shell), m_room(std::move(room)),
      m_device(shell.platform.makeMediaPlayer()), m_timer(new Timer(0, this)),
      m_announcer(*m_device, *m_timer, shell.platform.clock),
      m_watch(link, m_room.name, shell.platform.clock)
{
    connect(&m_announcer, &Announcer::started, this,
            [this](const Announcer::Announcement &announcement, qint64, qint64 lengthMs) {
                started(announcement, lengthMs);
            });
    connect(&m_announcer, &Announcer::failed, this,
            [this](const Announcer::Announcement &announcement) { handled(announcement.id); });
    connect(&m_announcer, &Announcer::missed, this,
            [this](const Announcer::Announcement &announcement) { handled(announcement.id); });
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
    QList<SoundStore::Held> sounds;
    for (const Announcements::Due &one : due) {
        announcements << Announcer::Announcement{one.id, one.second, one.text,
                                                 cache.pathFor(one.sha256), one.file};
        sounds << SoundStore::Held{one.file, one.sha256, one.size};
    }
    if (m_shell.sounds)
        m_shell.sounds->fetchContent(sounds);
    // The log follows the announcer from the first plan on: what the
    // plan's missed ones say goes into it.
    log();
    m_announcer.setPlan(announcements, readHandled());
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
    handled(announcement.id);
    if (TFrm_Subject *run = m_shell.Frm_Subject; run && run->isVisible())
        run->announce(announcement, lengthMs);
}

QSet<qint64> RoomAnnouncements::readHandled() const
{
    QFile file(RunLog::folderIn(m_room.dataFolder) + HandledFile);
    QSet<qint64> ids;
    if (!file.open(QIODevice::ReadOnly))
        return ids;
    // Ids only grow: one file serves every day.
    while (!file.atEnd())
        ids.insert(file.readLine().trimmed().toLongLong());
    return ids;
}

void RoomAnnouncements::handled(qint64 id)
{
    const QString folder = RunLog::folderIn(m_room.dataFolder);
    QDir().mkpath(folder);
    QFile file(folder + HandledFile);
    if (file.open(QIODevice::Append))
        file.write(QByteArray::number(id) + '\n');
}
