// Rooms running an exam while any login floods the rooms' channel with
// notices of changes; bench/rooms-flood drives it.
//
//   tessivox-bench-rooms-flood URI [ROOMS] [RATE] [SECONDS]
//
// Each room is what a running room's program keeps for this, on a thread of
// its own as on a PC of its own: its data module and link, the watch, the
// reading of its subject anew and the scheduler, which plays one
// instruction a second through a device that plays nothing. A psql flood
// sends RATE notices a second, each with another payload, for SECONDS;
// halfway through, the office changes an instruction's explanation.
// Printed: how late the instructions were let go (p50, p99, max), missed
// instructions, the readings anew, the CPU the rooms and the server used,
// the connections opened, and how long the real change took to reach every
// room.

#include "percentiles.h"
#include "support/FakeMediaPlayer.h"

#include "data/ScheduleWatch.h"
#include "data/Session.h"
#include "data/TDataModule1.h"
#include "platform/Clock.h"
#include "platform/Timer.h"
#include "run/RunDisplay.h"
#include "run/Scheduler.h"
#include "schedule/DataScheduleRepository.h"
#include "schedule/ScheduleTables.h"
#include "schedule/SubjectReread.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSqlQuery>
#include <QThread>
#include <atomic>
#include <cstdio>
#include <memory>
#include <mutex>
#include <sys/resource.h>
#include <unistd.h>

namespace {

const QString Exam = QStringLiteral("flood");

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

// CPU seconds of the server's processes: the postmaster and its children.
double serverCpu(qint64 postmaster)
{
    double ticks = 0;
    for (const QString &pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QString line = QString::fromLatin1(stat.readAll());
        const QStringList fields = line.mid(line.lastIndexOf(QLatin1Char(')')) + 2).split(' ');
        if (fields.size() > 13 &&
            (pid.toLongLong() == postmaster || fields.at(1).toLongLong() == postmaster))
            ticks += fields.at(11).toDouble() + fields.at(12).toDouble();
    }
    return ticks / double(sysconf(_SC_CLK_TCK));
}

double ownCpu()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 3) {
        std::fprintf(stderr, "usage: tessivox-bench-rooms-flood URI POSTMASTER_PID [ROOMS] [RATE] "
                             "[SECONDS]\n");
        return 2;
    }
    const QString uri = args.at(1);
    const qint64 postmaster = args.at(2).toLongLong();
    const int rooms = args.size() > 3 ? args.at(3).toInt() : 200;
    const int rate = args.size() > 4 ? args.at(4).toInt() : 500;
    const int seconds = args.size() > 5 ? args.at(5).toInt() : 30;
    QElapsedTimer clock;
    clock.start();

    // One instruction a second from a little after the rooms are up until
    // the flood has ended.
    TDataModule1 office(uri);
    DataScheduleRepository repository(office);
    const QDateTime first = QDateTime::currentDateTime()
                                .addSecs(rooms / 20 + 10)
                                .addMSecs(-QTime::currentTime().msec());
    Subject exam{Exam, true, {}, {}, first, first.addSecs(seconds + 20), {}};
    for (int i = 0; i < seconds + 10; ++i) {
        Instruction instruction;
        instruction.filename = QStringLiteral("%1.wav").arg(i);
        instruction.time = first.addSecs(i).time();
        exam.instructions << instruction;
    }
    repository.store({{}, {exam}}, true);
    const auto sessions = [&] {
        qint64 count = 0;
        office.use(TDataModule1::Access::Read, [&](Session &session) {
            QSqlQuery query(session.db());
            query.exec(QStringLiteral("SELECT sessions FROM pg_stat_database WHERE datname = "
                                      "current_database()"));
            count = query.next() ? query.value(0).toLongLong() : -1;
        });
        return count;
    };

    std::vector<std::unique_ptr<Room>> all;
    for (int i = 0; i < rooms; ++i) {
        auto room = std::make_unique<Room>();
        Room *r = room.get();
        r->context = new QObject;
        r->context->moveToThread(&r->thread);
        r->thread.start();
        QMetaObject::invokeMethod(
            r->context,
            [r, &uri, &clock] {
                r->data = std::make_unique<TDataModule1>(uri, TDataModule1::Mode::ReadWrite,
                                                         QDir::tempPath() + "/tvx-flood-room");
                r->Timer1 = std::make_unique<Timer>();
                r->Timer3 = std::make_unique<Timer>();
                r->scheduler = std::make_unique<Scheduler>(
                    Scheduler::Parts{r->device, *r->Timer1, *r->Timer3, r->clock, r->display,
                                     [](const QString &file) { return file; }});
                QObject::connect(r->Timer1.get(), &Timer::timeout, r->scheduler.get(),
                                 &Scheduler::Timer1Timer);
                QObject::connect(r->Timer3.get(), &Timer::timeout, r->scheduler.get(),
                                 &Scheduler::Timer3Timer);
                QObject::connect(r->scheduler.get(), &Scheduler::played,
                                 [](const QTime &, qint64 delayMs) {
                                     const std::lock_guard lock(delaysMutex);
                                     delaysUs << delayMs * 1000;
                                 });
                QObject::connect(r->scheduler.get(), &Scheduler::missed, [r] { ++r->missed; });
                r->Timer1->setUrgent(true);
                r->scheduler->start(DataScheduleRepository(*r->data).subject(Exam).instructions);
                r->watch = std::make_unique<ScheduleWatch>(*r->data->link());
                r->reread = new SubjectReread(*r->data->link(), Exam, r->context);
                QObject::connect(r->watch.get(), &ScheduleWatch::changed, r->reread,
                                 &SubjectReread::request);
                QObject::connect(r->reread, &SubjectReread::read, r->context,
                                 [r, &clock](const SubjectRead &read) {
                                     r->scheduler->follow(read.subject.instructions);
                                     if (r->changeSeenUs < 0 &&
                                         read.subject.instructions.last().explain ==
                                             QLatin1String("changed"))
                                         r->changeSeenUs = clock.nsecsElapsed() / 1000;
                                 });
            },
            Qt::BlockingQueuedConnection);
        all.push_back(std::move(room));
    }
    std::printf("%d rooms running, first instruction at %s\n", rooms,
                qPrintable(first.time().toString()));
    while (QDateTime::currentDateTime() < first.addSecs(-2))
        QThread::msleep(100);

    const qint64 sessionsBefore = sessions();
    const double roomsCpu = ownCpu();
    const double serverCpuBefore = serverCpu(postmaster);
    QProcess flood;
    flood.start(QStringLiteral("psql"),
                {QString(uri).replace(QStringLiteral("user=postgres"),
                                      QStringLiteral("user=tessivox_stranger")),
                 QStringLiteral("-qXc"),
                 // Paced to the rate by the clock, whatever each commit costs.
                 QStringLiteral("DO $$ DECLARE t0 timestamptz := clock_timestamp(); BEGIN FOR i "
                                "IN 1..%1 LOOP PERFORM pg_notify('tessivox_schedule', i::text); "
                                "COMMIT; PERFORM pg_sleep(greatest(0, extract(epoch FROM t0 + i "
                                "* interval '%2 microseconds' - clock_timestamp()))); END LOOP; "
                                "END $$")
                     .arg(rate * seconds)
                     .arg(1'000'000 / rate)});
    QElapsedTimer flooding;
    flooding.start();
    QThread::msleep(seconds * 500);
    qint64 changedUs = 0;
    ScheduleTables::transaction(office, [&] {
        office.use(TDataModule1::Access::Write, [&](Session &session) {
            QSqlQuery query(session.db());
            query.prepare(QStringLiteral("UPDATE sound SET explain = 'changed' WHERE "
                                         "subjectname = ? AND filename = ?"));
            query.addBindValue(Exam);
            query.addBindValue(exam.instructions.last().filename);
            query.exec();
        });
        changedUs = clock.nsecsElapsed() / 1000;
    });
    flood.waitForFinished(seconds * 4000);
    const double floodS = double(flooding.elapsed()) / 1000;
    const double serverCpuUsed = serverCpu(postmaster) - serverCpuBefore;
    const double roomsCpuUsed = ownCpu() - roomsCpu;
    const qint64 sessionsOpened = sessions() - sessionsBefore - 1;
    QThread::msleep(12'000);

    QList<qint64> reach;
    int missed = 0;
    int readings = 0;
    for (const auto &r : all) {
        reach << (r->changeSeenUs < 0 ? -1 : r->changeSeenUs - changedUs);
        missed += r->missed;
        QMetaObject::invokeMethod(
            r->context, [r = r.get(), &readings] { readings += r->reread->begun(); },
            Qt::BlockingQueuedConnection);
    }
    std::printf("flood: %d notices in %.1f s (%.0f a second), psql exit %d\n", rate * seconds,
                floodS, rate * seconds / floodS, flood.exitCode());
    {
        const std::lock_guard lock(delaysMutex);
        Percentiles::print("instructions let go after their second", delaysUs, 1);
    }
    std::printf("instructions missed: %d\n", missed);
    std::printf("readings of the subject anew: %d in all, %.1f a room a second\n", readings,
                double(readings) / rooms / floodS);
    std::printf("CPU during the flood: rooms %.1f s (%.1f %% of a core), server %.1f s (%.1f %%)\n",
                roomsCpuUsed, 100 * roomsCpuUsed / floodS, serverCpuUsed,
                100 * serverCpuUsed / floodS);
    std::printf("connections opened during the flood (the flood's own not counted): %lld\n",
                qlonglong(sessionsOpened));
    const bool everyRoom =
        std::none_of(reach.begin(), reach.end(), [](qint64 us) { return us < 0; });
    Percentiles::print("a real change during the flood, until a room had it", reach, 1);
    std::printf("every room had the change: %s; within 1 s: %s\n", everyRoom ? "yes" : "no",
                everyRoom && Percentiles::of(reach, 1.0) <= 1'000'000 ? "yes" : "no");
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
