// 200 rooms listening to one server for changes of the schedule;
// bench/rooms-notify drives it.
//
//   tessivox-bench-rooms-notify URI [ROOMS] [CHANGES] [REAL_ROOMS]
//
// Each room is what a room's program keeps for this: its data module, made
// on a thread of its own as on a PC of its own, whose one link carries the
// main window's load and the listening of a ScheduleWatch. The watches hand their notices over on
// this thread, as to the windows. Then CHANGES times: a subject is added in one transaction, and
// the time from its COMMIT being sent until each room has read the schedule again is taken.
// Printed: p50, p99 and max over all rooms and changes, and the slowest room of each change.
// Then the office announces a recording to every room (rooms_announce.h).

#include "percentiles.h"
#include "rooms_announce.h"

#include "schedule/ScheduleWatch.h"
#include "data/TDataModule1.h"
#include "schedule/ScheduleTables.h"
#include "schedule/Statements.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSqlDatabase>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <memory>

namespace {

void print(const char *label, const QList<qint64> &us)
{
    Percentiles::print(label, us, 1);
}

// One room: its watch on this thread, its reader on a thread of its own.
struct Room
{
    std::unique_ptr<ScheduleWatch> watch;
    QThread thread;
    QObject *reader = nullptr;
    TDataModule1 *data = nullptr;
    // Microseconds on the bench's clock when the last re-read after a
    // change ended; the subjects it read.
    std::atomic<qint64> readAtUs{-1};
    std::atomic<int> subjects{0};
};

void load(TDataModule1 &data, Room &room, const QElapsedTimer &clock)
{
    data.ADOQuery1.replace(Statements::selectTitle());
    data.ADOQuery1.open();
    data.ADOQuery9.replace(Statements::selectSubjectNames());
    data.ADOQuery9.open();
    room.readAtUs = clock.nsecsElapsed() / 1000;
    room.subjects = data.ADOQuery9.recordCount();
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 2) {
        std::fprintf(stderr,
                     "usage: tessivox-bench-rooms-notify URI [ROOMS] [CHANGES] [REAL_ROOMS]\n");
        return 2;
    }
    const QString uri = args.at(1);
    const int rooms = args.size() > 2 ? args.at(2).toInt() : 200;
    const int changes = args.size() > 3 ? args.at(3).toInt() : 20;
    const int realRooms = args.size() > 4 ? args.at(4).toInt() : 10;
    QElapsedTimer clock;
    clock.start();

    TDataModule1 office(uri);
    std::vector<std::unique_ptr<Room>> all;
    for (int i = 0; i < rooms; ++i) {
        auto room = std::make_unique<Room>();
        Room *r = room.get();
        r->reader = new QObject;
        r->reader->moveToThread(&r->thread);
        r->thread.start();
        QMetaObject::invokeMethod(
            r->reader, [r, &uri] { r->data = new TDataModule1(uri); },
            Qt::BlockingQueuedConnection);
        // The room's one link carries its reads and its listening.
        r->watch = std::make_unique<ScheduleWatch>(*r->data->link());
        QObject::connect(r->watch.get(), &ScheduleWatch::changed, r->reader,
                         [r, &clock](qint64) { load(*r->data, *r, clock); });
        all.push_back(std::move(room));
    }
    // Every room listening: each says so by a first re-read.
    const auto settled = [&](const auto &done, int waitMs) {
        QElapsedTimer waited;
        waited.start();
        while (!std::all_of(all.begin(), all.end(), done) && waited.elapsed() < waitMs)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        return std::all_of(all.begin(), all.end(), done);
    };
    if (!settled([](const auto &r) { return r->readAtUs >= 0; }, 60'000)) {
        std::fprintf(stderr, "not every room listens\n");
        return 1;
    }
    std::printf("%d rooms listening; %d changes, one a second\n", rooms, changes);

    QList<qint64> latencies;
    QList<qint64> slowest;
    int subjects = all.front()->subjects;
    for (int change = 0; change < changes; ++change) {
        QThread::msleep(1000);
        QCoreApplication::processEvents();
        qint64 sentUs = 0;
        ScheduleTables::transaction(office, [&] {
            office.ADOQuery1.replace(Statements::insertSubject(
                QStringLiteral("bench %1").arg(change), QDateTime::currentDateTime(),
                QDateTime::currentDateTime().addSecs(3600)));
            office.ADOQuery1.execute();
            // The commit follows as the transaction returns.
            sentUs = clock.nsecsElapsed() / 1000;
        });
        ++subjects;
        if (!settled([&](const auto &r) { return r->subjects == subjects; }, 10'000))
            std::printf("change %d: not every room read it within 10 s\n", change);
        qint64 worst = 0;
        for (const auto &r : all) {
            const qint64 us = r->readAtUs - sentUs;
            latencies << us;
            worst = std::max(worst, us);
        }
        slowest << worst;
    }
    print("from the commit until a room has re-read", latencies);
    print("until every room of a change has re-read", slowest);
    const qint64 late =
        std::count_if(slowest.begin(), slowest.end(), [](qint64 us) { return us > 1'000'000; });
    std::printf("changes after which a room took more than 1 s: %lld of %d\n", qlonglong(late),
                changes);

    QList<RoomsAnnounce::Room> links;
    for (const auto &r : all)
        links << RoomsAnnounce::Room{r->reader, r->data->link()};
    const bool announced = RoomsAnnounce::run(office, links, realRooms);

    for (const auto &r : all) {
        r->watch.reset();
        QMetaObject::invokeMethod(
            r->reader,
            [r = r.get()] {
                delete r->data;
                delete r->reader;
            },
            Qt::BlockingQueuedConnection);
        r->thread.quit();
        r->thread.wait();
    }
    return announced ? 0 : 1;
}
