// The import of an Access schedule into a SQLite file and into a server:
// wall time of reading, mapping and writing in one transaction, and the
// process's memory growth.
//
//   tessivox-bench-import ACCESS_FILE SQLITE_FILE URI [RUNS]
//
// Both databases must hold the tables already; runs after the first
// replace the subjects, as --replace does.

#include "data/TDataModule1.h"
#include "schedule/AccessImport.h"
#include "schedule/DataScheduleRepository.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <cstdio>

namespace {

// Resident and peak resident memory, in MiB.
std::pair<double, double> memory()
{
    QFile status(QStringLiteral("/proc/self/status"));
    double rss = 0, peak = 0;
    if (!status.open(QIODevice::ReadOnly))
        return {rss, peak};
    for (const QByteArray &line : status.readAll().split('\n')) {
        const QList<QByteArray> words = line.simplified().split(' ');
        if (words.size() >= 2 && words.at(0) == "VmRSS:")
            rss = words.at(1).toDouble() / 1024;
        if (words.size() >= 2 && words.at(0) == "VmHWM:")
            peak = words.at(1).toDouble() / 1024;
    }
    return {rss, peak};
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 4) {
        std::fputs("usage: tessivox-bench-import ACCESS_FILE SQLITE_FILE URI [RUNS]\n", stderr);
        return 2;
    }
    const int runs = args.value(4, QStringLiteral("3")).toInt();
    const auto [startRss, startPeak] = memory();
    std::printf("memory at start: %.1f MiB resident\n", startRss);
    for (const QString &target : {args.at(2), args.at(3)}) {
        const char *engine =
            target.startsWith(QStringLiteral("postgres")) ? "PostgreSQL" : "SQLite";
        for (int run = 1; run <= runs; ++run) {
            QElapsedTimer timer;
            timer.start();
            const AccessSchedule::Mapped mapped = AccessSchedule::read(args.at(1));
            const qint64 read = timer.elapsed();
            {
                TDataModule1 module(target);
                // As tessivox-db import waits.
                module.setDeadline(std::chrono::seconds(60));
                DataScheduleRepository repository(module);
                repository.store(mapped.schedule, run > 1);
            }
            int instructions = 0;
            for (const Subject &subject : mapped.schedule.subjects)
                instructions += int(subject.instructions.size());
            const auto [rss, peak] = memory();
            std::printf("%s run %d: %lld ms (read and map %lld ms), %lld subjects, %d "
                        "instructions; memory growth %.1f MiB resident, %.1f MiB peak\n",
                        engine, run, timer.elapsed(), read, mapped.schedule.subjects.size(),
                        instructions, rss - startRss, peak - startRss);
            std::fflush(stdout);
        }
    }
    return 0;
}
