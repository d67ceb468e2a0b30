// Rooms running an exam while any login floods the rooms' channel with
// notices of changes; bench/rooms-flood drives it.
//
//   tessivox-bench-rooms-flood URI POSTMASTER_PID [ROOMS] [RATE] [SECONDS] [PER_PROCESS]
//
// The rooms run in processes of PER_PROCESS rooms each (default 25): a
// centre's rooms are PCs of their own, and one process of 200 rooms' threads
// would share one allocator and one event dispatcher's locks as no room does.
// Each room is a thread of its own (rooms_flood_rooms.cpp). A psql flood
// sends RATE notices a second, each with another payload, for SECONDS;
// halfway through, the office changes an instruction's explanation. RATE 0
// sends none: the same run without a flood, to compare with.
// Printed: how late the instructions were let go (p50, p99, max), missed
// instructions, the readings anew (and how many of them read the subject),
// the CPU the rooms' processes and the server used, the connections opened
// (from the server's statistics), and how long the real change took to reach
// every room.

#include "rooms_flood.h"
#include "percentiles.h"

#include "data/Session.h"
#include "data/TDataModule1.h"
#include "schedule/DataScheduleRepository.h"
#include "schedule/ScheduleTables.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSqlQuery>
#include <QThread>
#include <cstdio>
#include <memory>
#include <unistd.h>

namespace {

// CPU seconds of one process and all its threads, and with ended: of its
// children that ended too.
double cpuOf(const QString &pid, qint64 *parent = nullptr, bool ended = false)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    const QString line = QString::fromLatin1(stat.readAll());
    const QStringList fields = line.mid(line.lastIndexOf(QLatin1Char(')')) + 2).split(' ');
    if (fields.size() <= 14)
        return 0;
    if (parent)
        *parent = fields.at(1).toLongLong();
    double ticks = fields.at(11).toDouble() + fields.at(12).toDouble();
    if (ended)
        ticks += fields.at(13).toDouble() + fields.at(14).toDouble();
    return ticks / double(sysconf(_SC_CLK_TCK));
}

// The server's processes: the postmaster and its children, those that ended
// (the flood's) included.
double serverCpu(qint64 postmaster)
{
    double seconds = cpuOf(QString::number(postmaster), nullptr, true);
    for (const QString &pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        qint64 parent = 0;
        const double used = cpuOf(pid, &parent);
        if (parent == postmaster)
            seconds += used;
    }
    return seconds;
}

double roomsCpu(const std::vector<std::unique_ptr<QProcess>> &processes)
{
    double seconds = 0;
    for (const auto &process : processes)
        seconds += cpuOf(QString::number(process->processId()));
    return seconds;
}

struct Seen
{
    QList<qint64> delaysUs;
    QList<qint64> changeSeenUs;
    int missed = 0;
    int readings = 0;
    int subjectReads = 0;
};

void collect(QProcess &process, Seen &seen)
{
    process.waitForFinished(60'000);
    for (const QByteArray &line : process.readAllStandardOutput().split('\n')) {
        const QList<QByteArray> words = line.split(' ');
        if (words.first() == "delay")
            seen.delaysUs << words.at(1).toLongLong();
        else if (words.first() == "seen")
            seen.changeSeenUs << words.at(1).toLongLong();
        else if (words.first() == "missed")
            seen.missed += words.at(1).toInt();
        else if (words.first() == "readings") {
            seen.readings += words.at(1).toInt();
            seen.subjectReads += words.at(2).toInt();
        }
    }
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() > 4 && args.at(1) == RoomsFlood::RoomsArgument)
        return RoomsFlood::runRooms(args);
    if (args.size() < 3) {
        std::fprintf(stderr, "usage: tessivox-bench-rooms-flood URI POSTMASTER_PID [ROOMS] [RATE] "
                             "[SECONDS] [PER_PROCESS]\n");
        return 2;
    }
    const QString uri = args.at(1);
    const qint64 postmaster = args.at(2).toLongLong();
    const int rooms = args.size() > 3 ? args.at(3).toInt() : 200;
    const int rate = args.size() > 4 ? args.at(4).toInt() : 500;
    const int seconds = args.size() > 5 ? args.at(5).toInt() : 30;
    const int perProcess = std::max(1, args.size() > 6 ? args.at(6).toInt() : 25);

    // One instruction a second from a little after the rooms are up until
    // the flood has ended.
    TDataModule1 office(uri);
    DataScheduleRepository repository(office);
    const QDateTime first = QDateTime::currentDateTime()
                                .addSecs(rooms / 20 + 10)
                                .addMSecs(-QTime::currentTime().msec());
    Subject exam{RoomsFlood::Exam, true, {}, {}, first, first.addSecs(seconds + 20), {}};
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

    // The rooms' processes end a little after the last instruction.
    const QDateTime end = first.addSecs(seconds + 12);
    std::vector<std::unique_ptr<QProcess>> processes;
    for (int from = 0; from < rooms; from += perProcess) {
        auto process = std::make_unique<QProcess>();
        process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process->start(app.applicationFilePath(),
                       {RoomsFlood::RoomsArgument, uri,
                        QString::number(std::min(perProcess, rooms - from)),
                        QString::number(end.toMSecsSinceEpoch())});
        processes.push_back(std::move(process));
    }
    for (const auto &process : processes)
        while (!process->canReadLine() && process->state() == QProcess::Running)
            process->waitForReadyRead(1000);
    std::printf("%d rooms in %zu processes of up to %d rooms, each room a thread raised as a run "
                "window's; first instruction at %s\n",
                rooms, processes.size(), perProcess, qPrintable(first.time().toString()));
    while (QDateTime::currentDateTime() < first.addSecs(-2))
        QThread::msleep(100);

    const qint64 sessionsBefore = sessions();
    const double roomsCpuBefore = roomsCpu(processes);
    const double serverCpuBefore = serverCpu(postmaster);
    QProcess flood;
    if (rate > 0)
        flood.start(
            QStringLiteral("psql"),
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
                 .arg(1'000'000 / std::max(rate, 1))});
    QElapsedTimer flooding;
    flooding.start();
    QThread::msleep(seconds * 500);
    qint64 changedUs = 0;
    ScheduleTables::transaction(office, [&] {
        office.use(TDataModule1::Access::Write, [&](Session &session) {
            QSqlQuery query(session.db());
            query.prepare(QStringLiteral("UPDATE sound SET explain = 'changed' WHERE "
                                         "subjectname = ? AND filename = ?"));
            query.addBindValue(RoomsFlood::Exam);
            query.addBindValue(exam.instructions.last().filename);
            query.exec();
        });
        changedUs = RoomsFlood::wallMicroseconds();
    });
    if (rate > 0)
        flood.waitForFinished(seconds * 4000);
    else
        QThread::msleep(seconds * 500);
    const double floodS = double(flooding.elapsed()) / 1000;
    const double serverCpuUsed = serverCpu(postmaster) - serverCpuBefore;
    const double roomsCpuUsed = roomsCpu(processes) - roomsCpuBefore;
    const qint64 sessionsOpened = sessions() - sessionsBefore - (rate > 0 ? 1 : 0);

    Seen seen;
    for (const auto &process : processes)
        collect(*process, seen);
    QList<qint64> reach;
    for (const qint64 us : std::as_const(seen.changeSeenUs))
        reach << (us < 0 ? -1 : us - changedUs);
    std::printf("flood: %d notices in %.1f s (%.0f a second), psql exit %d\n", rate * seconds,
                floodS, rate * seconds / floodS, flood.exitCode());
    Percentiles::print("instructions let go after their second", seen.delaysUs, 1);
    std::printf("instructions missed: %d\n", seen.missed);
    std::printf("readings anew: %d in all, %.1f a room a second; %d of them read the subject\n",
                seen.readings, double(seen.readings) / rooms / floodS, seen.subjectReads);
    std::printf("CPU during the flood: rooms %.1f s (%.1f %% of a core), server %.1f s (%.1f %%)\n",
                roomsCpuUsed, 100 * roomsCpuUsed / floodS, serverCpuUsed,
                100 * serverCpuUsed / floodS);
    std::printf("connections opened during the flood (the flood's own not counted): %lld\n",
                qlonglong(sessionsOpened));
    const bool everyRoom = reach.size() == rooms && std::none_of(reach.begin(), reach.end(),
                                                                 [](qint64 us) { return us < 0; });
    Percentiles::print("a real change during the flood, until a room had it", reach, 1);
    std::printf("every room had the change: %s; within 1 s: %s\n", everyRoom ? "yes" : "no",
                everyRoom && Percentiles::of(reach, 1.0) <= 1'000'000 ? "yes" : "no");
    return 0;
}
