#include "rooms_announce.h"

#include "percentiles.h"
#include "stamping_player.h"

#include "data/DbError.h"
#include "data/Query.h"
#include "data/ServerLink.h"
#include "data/Session.h"
#include "data/TDataModule1.h"
#include "office/AnnouncementWatch.h"
#include "office/Announcements.h"
#include "platform/Clock.h"
#include "platform/Timer.h"
#include "run/Announcer.h"
#include "run/SoundDevice.h"
#include "support/TestSounds.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <vector>

namespace {

using namespace std::chrono_literals;

qint64 wallUs()
{
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// What a room's program has for the office's announcements, on the room's
// thread. The recording is taken to be in the room's cache already: its
// fetch is not what is measured.
struct Voice
{
    Voice(ServerLink &link, const QString &room, const QString &path,
          std::unique_ptr<MediaPlayer> sound)
        : device(std::move(sound)), announcer(device, timer, clock), watch(link, room, clock)
    {
        QObject::connect(
            &watch, &AnnouncementWatch::changed, &announcer,
            [this, path](const QList<Announcements::Due> &due) {
                QList<Announcer::Announcement> plan;
                for (const Announcements::Due &one : due)
                    plan << Announcer::Announcement{one.id, one.second, one.text, path, one.file};
                announcer.setPlan(plan);
                knownUs = wallUs();
                known = due.isEmpty() ? 0 : due.last().id;
                ++reads;
            });
        QObject::connect(
            &announcer, &Announcer::started, &announcer,
            [this](const Announcer::Announcement &announcement) { played = announcement.id; });
        QObject::connect(
            &announcer, &Announcer::failed, &announcer,
            [this, room](const Announcer::Announcement &announcement, const QString &reason) {
                failed = announcement.id;
                std::fprintf(stderr, "%s: failed: %s\n", qPrintable(room), qPrintable(reason));
            });
    }

    SystemClock clock;
    StampingPlayer device;
    Timer timer;
    Announcer announcer;
    AnnouncementWatch watch;
    std::atomic<int> reads{0};
    // The latest announcement read, and when; the one played, or failed.
    std::atomic<qint64> known{0};
    std::atomic<qint64> knownUs{0};
    std::atomic<qint64> played{0};
    std::atomic<qint64> failed{0};
};

// Waits without keeping a core busy: the rooms need both at their second.
template <typename Done> bool waitUntil(const Done &done, qint64 deadlineUs)
{
    while (!done()) {
        if (wallUs() >= deadlineUs)
            return false;
        QCoreApplication::processEvents();
        QThread::msleep(20);
    }
    return true;
}

// The server's client connections to the bench's database besides the
// one asking; -1 when it does not say.
qint64 connections(TDataModule1 &office)
{
    qint64 count = -1;
    try {
        office.link()->run(
            [&](Session &session) {
                QSqlQuery query = Query::run(
                    session.db(),
                    {QStringLiteral("SELECT count(*) FROM pg_stat_activity WHERE datname = "
                                    "current_database() AND backend_type = 'client backend' AND "
                                    "pid <> pg_backend_pid()"),
                     {}});
                if (query.next())
                    count = query.value(0).toLongLong();
            },
            5s);
    } catch (const DbError &error) {
        std::printf("  connections not counted: %s\n", qPrintable(error.text()));
    }
    return count;
}

void printSpread(const char *label, const QList<qint64> &us)
{
    const auto ms = [&](double p) { return double(Percentiles::of(us, p)) / 1000; };
    std::printf("%s: min %+.2f ms, p50 %+.2f ms, p99 %+.2f ms, max %+.2f ms; spread %.2f ms "
                "over %lld rooms\n",
                label, ms(0), ms(0.5), ms(0.99), ms(1), ms(1) - ms(0), qlonglong(us.size()));
    const qint64 within =
        std::count_if(us.begin(), us.end(), [](qint64 one) { return std::abs(one) <= 10'000; });
    std::printf("  within 10 ms of the second: %lld of %lld\n", qlonglong(within),
                qlonglong(us.size()));
}

// One announcement to rooms, each with a device of its own made by device().
template <typename Device>
bool announce(TDataModule1 &office, const QList<RoomsAnnounce::Room> &rooms, const QString &path,
              const Device &device, const char *label)
{
    std::vector<Voice *> voices(rooms.size(), nullptr);
    const qint64 before = connections(office);
    for (qsizetype i = 0; i < rooms.size(); ++i)
        QMetaObject::invokeMethod(
            rooms[i].thread,
            [&, i] {
                voices[i] =
                    new Voice(*rooms[i].link, QStringLiteral("room %1").arg(i + 1), path, device());
            },
            Qt::BlockingQueuedConnection);
    const auto all = [&](const auto &done) {
        return std::all_of(voices.begin(), voices.end(), done);
    };
    bool ok = waitUntil([&] { return all([](Voice *v) { return v->reads > 0; }); },
                        wallUs() + 30'000'000);
    if (!ok)
        std::printf("not every room read its announcements within 30 s\n");

    QDateTime at = QDateTime::currentDateTime().addSecs(15);
    at.setTime(QTime(at.time().hour(), at.time().minute(), at.time().second()));
    const qint64 atUs = at.toMSecsSinceEpoch() * 1000;
    qint64 id = 0;
    // The storing of its recording counts, where the server lacks it.
    const qint64 publishingUs = wallUs();
    try {
        id = Announcements::publish(*office.link(), {path, at.time(), {}, QStringLiteral("bench")},
                                    5s)
                 .id;
    } catch (const DbError &error) {
        std::printf("not announced: %s\n", qPrintable(error.text()));
        ok = false;
    }
    if (id != 0) {
        std::printf("%s, %lld rooms, for %s:\n", label, qlonglong(rooms.size()),
                    qPrintable(at.time().toString(QStringLiteral("HH:mm:ss"))));
        if (waitUntil([&] { return all([id](Voice *v) { return v->known == id; }); },
                      atUs - 1'000'000)) {
            qint64 last = 0;
            for (Voice *v : voices)
                last = std::max<qint64>(last, v->knownUs);
            std::printf("  every room had read it %.1f ms after the office began to publish it\n",
                        double(last - publishingUs) / 1000);
        } else {
            std::printf("  not every room had read it a second before it\n");
        }
        std::printf("  connections to the server besides the office's: %lld before these rooms "
                    "watched the announcements, %lld with them\n",
                    qlonglong(before), qlonglong(connections(office)));
        // An announcement more than a second late is missed, never played.
        waitUntil(
            [&] { return all([id](Voice *v) { return v->played == id || v->failed == id; }); },
            atUs + 2'000'000);
        QList<qint64> letGo;
        for (Voice *v : voices)
            if (v->played == id)
                letGo << v->device.letGoUs() - atUs;
        printSpread("  sound let go after its second", letGo);
        if (letGo.size() != rooms.size()) {
            std::printf("  rooms that did not play it: %lld\n",
                        qlonglong(rooms.size() - letGo.size()));
            ok = false;
        }
    }
    for (qsizetype i = 0; i < rooms.size(); ++i)
        QMetaObject::invokeMethod(
            rooms[i].thread, [&, i] { delete voices[i]; }, Qt::BlockingQueuedConnection);
    return ok;
}

} // namespace

namespace RoomsAnnounce {

bool run(TDataModule1 &office, const QList<Room> &rooms, int realRooms)
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("announcement.wav"));
    TestSounds::writeSilence(path, StampingPlayer::SilentLengthMs);
    bool ok = announce(
        office, rooms, path, [] { return std::unique_ptr<MediaPlayer>(); },
        "an announcement on a device that only notes the moment its sound is let go");
    realRooms = int(std::min<qsizetype>(realRooms, rooms.size()));
    if (realRooms <= 0 || !qEnvironmentVariableIsSet("PULSE_SERVER")) {
        std::printf("no room on the real sound device: no PULSE_SERVER, or no REAL_ROOMS\n");
        return ok;
    }
    ok = announce(
             office, rooms.first(realRooms), path,
             [] { return std::unique_ptr<MediaPlayer>(std::make_unique<SoundDevice>()); },
             "the same on the REAL sound device (the bench's PulseAudio, null sink)") &&
         ok;
    return ok;
}

} // namespace RoomsAnnounce
