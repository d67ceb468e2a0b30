// One process of bench/rooms-flood's rooms (see rooms_flood.h). Each room is
// what a running room's program keeps for this, on a thread of its own as
// on a PC of its own, raised as a run window raises the thread that plays:
// its data module and link, the watch, the reading of its subject anew and
// the scheduler, which plays one instruction a second through a device that
// plays nothing.

#include "rooms_flood.h"

#include "support/FakeMediaPlayer.h"

#include "schedule/ScheduleWatch.h"
#include "data/TDataModule1.h"
#include "platform/Clock.h"
#include "platform/ThreadPriority.h"
#include "platform/Timer.h"
#include "run/RunDisplay.h"
#include "run/Scheduler.h"
#include "schedule/DataScheduleRepository.h"
#include "schedule/SubjectReread.h"

#include <QDateTime>
#include <QDir>
#include <QThread>
#include <atomic>
#include <cstdio>
#include <memory>
#include <mutex>

namespace {

class NoDisplay final : public RunDisplay
{
public:
    void setPlayTime(const QString &) override {}
    bool memoIsEmpty() const override { return false; }
    void setMemoLine(const QString &) override {}
    void showPlayFailure(const QString &) override {}
};

struct Room
{
    QThread thread;
    QObject *context = nullptr;
    // Made and used on the room's thread.
    std::unique_ptr<TDataModule1> data;
    std::unique_ptr<ScheduleWatch> watch;
    SubjectReread *reread = nullptr;
    FakeMediaPlayer device;
    SystemClock clock;
    NoDisplay display;
    std::unique_ptr<Timer> Timer1;
    std::unique_ptr<Timer> Timer3;
    std::unique_ptr<Scheduler> scheduler;
    std::atomic<int> missed{0};
    std::atomic<qint64> changeSeenUs{-1};
};

std::mutex delaysMutex;
QList<qint64> delaysUs;

void start(Room &room, const QString &uri)
{
    Room *r = &room;
    r->data = std::make_unique<TDataModule1>(uri, TDataModule1::Mode::ReadWrite,
                                             QDir::tempPath() + "/tvx-flood-room");
    r->Timer1 = std::make_unique<Timer>();
    r->Timer3 = std::make_unique<Timer>();
    r->scheduler = std::make_unique<Scheduler>(
        Scheduler::Parts{r->device, *r->Timer1, *r->Timer3, r->clock, r->display,
                         [](const QString &file) { return file; }});
    QObject::connect(r->Timer1.get(), &Timer::timeout, r->scheduler.get(), &Scheduler::Timer1Timer);
    QObject::connect(r->Timer3.get(), &Timer::timeout, r->scheduler.get(), &Scheduler::Timer3Timer);
    QObject::connect(r->scheduler.get(), &Scheduler::played, [](const QTime &, qint64 delayMs) {
        const std::lock_guard lock(delaysMutex);
        delaysUs << delayMs * 1000;
    });
    QObject::connect(r->scheduler.get(), &Scheduler::missed, [r] { ++r->missed; });
    if (const QString refusal = ThreadPriority::raiseCurrent(); !refusal.isEmpty())
        std::fprintf(stderr, "a room plays at normal priority: %s\n", qPrintable(refusal));
    r->Timer1->setUrgent(true);
    r->scheduler->start(DataScheduleRepository(*r->data).subject(RoomsFlood::Exam).instructions);
    r->watch = std::make_unique<ScheduleWatch>(*r->data->link());
    r->reread = new SubjectReread(*r->data->link(), RoomsFlood::Exam, r->context);
    QObject::connect(r->watch.get(), &ScheduleWatch::changed, r->reread, &SubjectReread::request);
    QObject::connect(r->reread, &SubjectReread::read, r->context, [r](const SubjectRead &read) {
        r->scheduler->follow(read.subject.instructions);
        if (r->changeSeenUs < 0 &&
            read.subject.instructions.last().explain == QLatin1String("changed"))
            r->changeSeenUs = RoomsFlood::wallMicroseconds();
    });
}

} // namespace

int RoomsFlood::runRooms(const QStringList &args)
{
    const QString uri = args.at(2);
    const int rooms = args.at(3).toInt();
    const QDateTime end = QDateTime::fromMSecsSinceEpoch(args.at(4).toLongLong());
    std::vector<std::unique_ptr<Room>> all;
    for (int i = 0; i < rooms; ++i) {
        auto room = std::make_unique<Room>();
        Room *r = room.get();
        r->context = new QObject;
        r->context->moveToThread(&r->thread);
        r->thread.start();
        QMetaObject::invokeMethod(
            r->context, [r, &uri] { start(*r, uri); }, Qt::BlockingQueuedConnection);
        all.push_back(std::move(room));
    }
    std::printf("ready\n");
    std::fflush(stdout);
    while (QDateTime::currentDateTime() < end)
        QThread::msleep(100);

    {
        const std::lock_guard lock(delaysMutex);
        for (const qint64 us : std::as_const(delaysUs))
            std::printf("delay %lld\n", qlonglong(us));
    }
    int missed = 0;
    int begun = 0;
    int subjectReads = 0;
    for (const auto &r : all) {
        missed += r->missed;
        std::printf("seen %lld\n", qlonglong(r->changeSeenUs.load()));
        QMetaObject::invokeMethod(
            r->context,
            [r = r.get(), &begun, &subjectReads] {
                begun += r->reread->begun();
                subjectReads += r->reread->subjectReads();
            },
            Qt::BlockingQueuedConnection);
    }
    std::printf("missed %d\nreadings %d %d\n", missed, begun, subjectReads);
    std::fflush(stdout);
    for (const auto &r : all) {
        QMetaObject::invokeMethod(
            r->context,
            [r = r.get()] {
                r->scheduler.reset();
                r->watch.reset();
                r->data.reset();
            },
            Qt::BlockingQueuedConnection);
        r->thread.quit();
        r->thread.wait();
    }
    return 0;
}
