// 200 rooms reporting to one server at once; bench/rooms-report drives it.
//
//   tessivox-bench-rooms-report URI WORK_FOLDER [ROOMS] [INSTRUCTIONS] [SECONDS] [EVENTS]
//
// A day: every room (a thread with a reporter of its own, as a room's
// program has) plays INSTRUCTIONS instructions spread over SECONDS, each at
// its moment by the wall clock, and hands each play to its reporter as the
// run log does. Printed: how late the plays were and how long handing an
// event over took (the delay reporting can add to a play), then how fast
// the server took the events. Once without reporting, for comparison.
// A backlog: every room then hands over events as fast as it can until the
// server holds EVENTS in all, and the time the server takes to accept them.
// Then the office's status over all rooms and events. Last, another day
// while one room, logged in with a room's rights, tries to lock the rooms'
// table and holds what it may for the day: the other rooms' reports and
// the office's status, read every half second, carry on.

#include "data/ServerLink.h"
#include "data/Session.h"
#include "office/RoomReporter.h"
#include "office/RoomStatus.h"
#include "platform/Clock.h"

#include <QSqlError>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSqlQuery>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <thread>

namespace {

using namespace std::chrono;

struct Figures
{
    std::mutex mutex;
    QList<qint64> lateUs;
    QList<qint64> handOverUs;
    QList<qint64> handOverCpuUs;
};

// The calling thread's own processor time: what a call costs, without the
// waits for a core that 200 rooms on one machine add.
qint64 threadCpuUs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return qint64(t.tv_sec) * 1'000'000 + t.tv_nsec / 1000;
}

qint64 percentile(QList<qint64> values, double p)
{
    if (values.isEmpty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[qMin(values.size() - 1, qsizetype(p * double(values.size())))];
}

void print(const char *label, const QList<qint64> &us)
{
    std::printf("%s: p50 %.3f ms, p99 %.3f ms, max %.3f ms over %lld\n", label,
                double(percentile(us, 0.5)) / 1000, double(percentile(us, 0.99)) / 1000,
                double(percentile(us, 1.0)) / 1000, qlonglong(us.size()));
}

qint64 count(ServerLink &server)
{
    qint64 events = -1;
    server.run(
        [&](Session &session) {
            QSqlQuery query(session.db());
            query.exec(QStringLiteral("SELECT count(*) FROM room_event"));
            events = query.next() ? query.value(0).toLongLong() : -1;
        },
        std::chrono::seconds(30));
    return events;
}

RoomReporter::Room room(const QString &uri, const QString &work, int i)
{
    return {uri, QStringLiteral("Room %1").arg(i, 3, 10, QLatin1Char('0')), QStringLiteral("bench"),
            QStringLiteral("%1/room-%2").arg(work).arg(i)};
}

// One room's day; without a reporter the plays are only timed.
void day(RoomReporter *reporter, const Clock &clock, int instructions, int seconds,
         system_clock::time_point start, Figures &figures)
{
    QList<qint64> late, handOver, handOverCpu;
    const auto step = milliseconds(seconds * 1000 / instructions);
    // The rooms' instructions fall on the same seconds, as in a real
    // centre where every room runs the same schedule.
    if (reporter)
        reporter->record({.at = clock.now(),
                          .kind = QStringLiteral("run started"),
                          .subject = QStringLiteral("语文")});
    for (int i = 1; i <= instructions; ++i) {
        const auto due = start + i * step;
        std::this_thread::sleep_until(due);
        const auto played = system_clock::now();
        late << duration_cast<microseconds>(played - due).count();
        if (reporter) {
            const auto before = steady_clock::now();
            const qint64 cpuBefore = threadCpuUs();
            reporter->record({.at = clock.now(),
                              .kind = QStringLiteral("played"),
                              .second = QTime(8, 0).addSecs(i * 120),
                              .delayMs = duration_cast<milliseconds>(played - due).count(),
                              .file = QStringLiteral("%1.wav").arg(i)});
            handOver << duration_cast<microseconds>(steady_clock::now() - before).count();
            handOverCpu << threadCpuUs() - cpuBefore;
        }
    }
    if (reporter)
        reporter->record({.at = clock.now(),
                          .kind = QStringLiteral("run ended"),
                          .reason = QStringLiteral("stopped")});
    const std::lock_guard lock(figures.mutex);
    figures.lateUs << late;
    figures.handOverUs << handOver;
    figures.handOverCpuUs << handOverCpu;
}

void runDay(const QList<RoomReporter *> &reporters, const Clock &clock, int rooms, int instructions,
            int seconds, const char *label)
{
    Figures figures;
    const auto start = system_clock::now() + std::chrono::seconds(2);
    std::vector<std::thread> threads;
    for (int i = 0; i < rooms; ++i)
        threads.emplace_back(day, reporters.value(i), std::cref(clock), instructions, seconds,
                             start, std::ref(figures));
    for (std::thread &thread : threads)
        thread.join();
    std::printf("%s\n", label);
    print("  plays late", figures.lateUs);
    if (!figures.handOverUs.isEmpty()) {
        print("  handing an event to the reporter, wall", figures.handOverUs);
        print("  handing an event to the reporter, its processor time", figures.handOverCpuUs);
    }
}

// A room's login tries to lock the rooms' table, then holds its own row
// in a transaction left open for the day, all it is allowed.
QString holdRoomTable(const QString &uri, const QString &login, int seconds)
{
    QString refusal;
    ServerLink(uri).run(
        [&](Session &session) {
            QSqlQuery query(session.db());
            query.exec(QStringLiteral("BEGIN"));
            refusal = query.exec(QStringLiteral("LOCK TABLE room IN ACCESS EXCLUSIVE MODE"))
                          ? QStringLiteral("LOCK TABLE room allowed")
                          : query.lastError().databaseText().simplified();
            query.exec(QStringLiteral("ROLLBACK"));
            query.exec(QStringLiteral("BEGIN"));
            query.prepare(QStringLiteral("SELECT room_report(?, 'bench', 'idle', NULL, 0, NULL)"));
            query.addBindValue(login);
            query.exec();
            query.prepare(QStringLiteral("SELECT pg_sleep(?)"));
            query.addBindValue(seconds);
            query.exec();
            query.exec(QStringLiteral("COMMIT"));
        },
        std::chrono::seconds(seconds + 30));
    return refusal;
}

void lockedDay(const QString &uri, const QList<RoomReporter *> &reporters, const Clock &clock,
               int instructions, int seconds, ServerLink &server)
{
    const QString login = QStringLiteral("locker");
    const QString lockerUri =
        QString(uri).replace(QStringLiteral("user=postgres"), QStringLiteral("user=") + login);
    const qint64 before = count(server);
    QString refusal;
    std::thread locker([&] { refusal = holdRoomTable(lockerUri, login, seconds + 2); });
    std::atomic<bool> dayOver = false;
    QList<qint64> statusUs;
    std::thread office([&] {
        ServerLink reader(uri, true);
        while (!dayOver) {
            QElapsedTimer timer;
            timer.start();
            reader.run(
                [](Session &session) {
                    RoomStatus::readAll(session.db(), 1000, QDateTime::currentDateTime());
                },
                std::chrono::seconds(30));
            statusUs << timer.nsecsElapsed() / 1000;
            std::this_thread::sleep_for(milliseconds(500));
        }
    });
    QElapsedTimer dayTimer;
    dayTimer.start();
    runDay(reporters, clock, int(reporters.size()), instructions, seconds,
           "a day while one room holds what it may of the rooms' table");
    const qint64 dayEvents = qint64(reporters.size()) * (instructions + 2);
    while (count(server) < before + dayEvents)
        std::this_thread::sleep_for(milliseconds(20));
    std::printf("  the server held all %lld events of the other rooms %.2f s after the last play\n",
                qlonglong(dayEvents), double(dayTimer.elapsed()) / 1000 - seconds - 2);
    dayOver = true;
    office.join();
    locker.join();
    std::printf("  the room's LOCK TABLE room: %s\n", qPrintable(refusal));
    print("  the office's status meanwhile, read", statusUs);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 3)
        return 2;
    const QString uri = args[1], work = args[2];
    const int rooms = args.value(3, QStringLiteral("200")).toInt();
    const int instructions = args.value(4, QStringLiteral("30")).toInt();
    const int seconds = args.value(5, QStringLiteral("60")).toInt();
    const qint64 events = args.value(6, QStringLiteral("100000")).toLongLong();
    SystemClock clock;
    ServerLink server(uri);

    std::printf("%d rooms, %d instructions each over %d s\n", rooms, instructions, seconds);
    runDay({}, clock, rooms, instructions, seconds, "without reporting");

    std::vector<std::unique_ptr<RoomReporter>> owned;
    QList<RoomReporter *> reporters;
    for (int i = 0; i < rooms; ++i) {
        owned.push_back(std::make_unique<RoomReporter>(room(uri, work, i), clock));
        reporters << owned.back().get();
    }
    QElapsedTimer dayTimer;
    dayTimer.start();
    runDay(reporters, clock, rooms, instructions, seconds, "with every room reporting");
    const qint64 dayEvents = qint64(rooms) * (instructions + 2);
    while (count(server) < dayEvents)
        std::this_thread::sleep_for(milliseconds(20));
    std::printf("  the server held all %lld events %.2f s after the last play\n",
                qlonglong(dayEvents), double(dayTimer.elapsed()) / 1000 - seconds - 2);

    // The backlog: handed over at once, as after a network cut.
    const qint64 perRoom = (events - dayEvents) / rooms;
    QElapsedTimer burst;
    burst.start();
    {
        std::vector<std::thread> threads;
        for (RoomReporter *reporter : reporters)
            threads.emplace_back([&, reporter] {
                // Earlier days' runs, as a centre's history holds them.
                for (qint64 i = 0; i < perRoom; ++i) {
                    const qint64 inRun = i % (instructions + 2);
                    const QString kind = inRun == 0                  ? QStringLiteral("run started")
                                         : inRun == instructions + 1 ? QStringLiteral("run ended")
                                                                     : QStringLiteral("played");
                    // A day apart, all before today's run.
                    const qint64 run = i / (instructions + 2);
                    reporter->record({.at = clock.now().addDays(run - perRoom).addMSecs(inRun),
                                      .kind = kind,
                                      .subject = QStringLiteral("数学"),
                                      .second = QTime(9, 0).addSecs(int(inRun)),
                                      .delayMs = 1,
                                      .file = QStringLiteral("b.wav")});
                }
            });
        for (std::thread &thread : threads)
            thread.join();
    }
    const qint64 handed = burst.elapsed();
    const qint64 total = dayEvents + perRoom * rooms;
    while (count(server) < total)
        std::this_thread::sleep_for(milliseconds(20));
    std::printf(
        "backlog: %lld events handed over in %.2f s, accepted after %.2f s: %.0f events/s\n",
        qlonglong(perRoom * rooms), double(handed) / 1000, double(burst.elapsed()) / 1000,
        double(perRoom * rooms) * 1000 / double(qMax<qint64>(1, burst.elapsed())));
    owned.clear();

    QList<qint64> statusUs;
    qsizetype shown = 0;
    for (int i = 0; i < 11; ++i) {
        QElapsedTimer timer;
        timer.start();
        server.run(
            [&](Session &session) {
                shown =
                    RoomStatus::readAll(session.db(), 1000, QDateTime::currentDateTime()).size();
            },
            std::chrono::seconds(30));
        statusUs << timer.nsecsElapsed() / 1000;
    }
    std::printf("status of %lld rooms over %lld events\n", qlonglong(shown), qlonglong(total));
    print("  read", statusUs);

    owned.clear();
    for (int i = 0; i < rooms; ++i) {
        owned.push_back(std::make_unique<RoomReporter>(room(uri, work, i), clock));
        reporters[i] = owned.back().get();
    }
    lockedDay(uri, reporters, clock, instructions, seconds, server);
    return 0;
}
