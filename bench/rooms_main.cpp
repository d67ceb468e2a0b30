// The main window's and the run window's loads on a centre's database of 200
// rooms' subjects, on a SQLite file and on a PostgreSQL server; bench/rooms
// creates both and drives it.
//
//   tessivox-bench-rooms SQLITE_FILE POSTGRESQL_URI WORK_FOLDER [SUBJECTS [PER_SUBJECT [RUNS]]]
//
// Both databases get the same rows, stored through the data module in one
// transaction. Each load sends the windows' own statements through the data
// module's query objects: the first on a module that has not connected yet,
// the others warm. The server's local copy is written after each load, as
// the windows have it written; its wait is not counted.

#include "data/TDataModule1.h"
#include "schedule/CopyStandIn.h"
#include "schedule/ScheduleTables.h"
#include "schedule/Statements.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTextStream>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>

namespace {

QString subjectName(int s)
{
    return QStringLiteral("第%1考场科目%2").arg(s / 10 + 1).arg(s % 10 + 1);
}

void fill(TDataModule1 &data, int subjects, int perSubject)
{
    const QDateTime start(QDate(2099, 6, 7), QTime(7, 55));
    const QDateTime end(QDate(2099, 6, 7), QTime(18, 0));
    // A transaction a subject, as the editor stores them: one of the whole
    // centre would outlast the deadline of a save on a server.
    for (int s = 0; s < subjects; ++s) {
        ScheduleTables::transaction(data, [&] {
            const QString subject = subjectName(s);
            data.ADOQuery1.replace(Statements::insertSubject(subject, start, end));
            data.ADOQuery1.execute();
            for (int i = 0; i < perSubject; ++i) {
                // Stored out of order: the run's load sorts them.
                const int at = (i * 7) % perSubject;
                data.ADOQuery2.replace(
                    Statements::insertSound(subject, QStringLiteral("指令-%1.wav").arg(at),
                                            QStringLiteral("考生请注意：第%1条指令").arg(at),
                                            QTime(8, 0).addSecs(at * 60)));
                data.ADOQuery2.execute();
            }
        });
    }
}

// What TFrm_main::FormCreate reads.
void mainWindowLoad(TDataModule1 &data)
{
    data.ADOQuery1.replace(Statements::selectTitle());
    data.ADOQuery1.open();
    data.ADOQuery1.first();
    QStringList names{data.ADOQuery1.text(QStringLiteral("systitle"))};
    data.ADOQuery9.replace(Statements::selectSubjectNames());
    data.ADOQuery9.open();
    for (int i = 0; i < data.ADOQuery9.recordCount(); ++i) {
        names << data.ADOQuery9.text(QStringLiteral("subjectname"));
        data.ADOQuery9.next();
    }
}

// What TFrm_Subject::FormCreate reads for one subject.
void runWindowLoad(TDataModule1 &data, const QString &subject)
{
    data.ADOQuery10.replace(Statements::selectSubject(subject));
    data.ADOQuery10.open();
    const QDateTime start = data.ADOQuery10.dateTime(QStringLiteral("starttime"));
    data.ADOQuery6.replace(Statements::selectSoundsByPlaytime(subject));
    data.ADOQuery6.open();
    QList<QTime> times;
    for (int i = 0; i < data.ADOQuery6.recordCount(); ++i) {
        times << data.ADOQuery6.time(QStringLiteral("playtime"));
        data.ADOQuery6.next();
    }
    data.ADOQuery10.replace(Statements::selectSoundsByPlaytime(subject));
    data.ADOQuery10.open();
    if (!start.isValid() || times.size() != data.ADOQuery10.recordCount())
        throw std::runtime_error("the run's load read no subject");
}

struct Timing
{
    double firstMs;
    double medianMs;
};

Timing measure(const QString &location, const QString &dataFolder, int runs,
               const std::function<void(TDataModule1 &)> &load)
{
    TDataModule1 data(location, TDataModule1::Mode::ReadWrite, dataFolder);
    const std::unique_ptr<CopyStandIn> standIn =
        data.link() ? std::make_unique<CopyStandIn>(data) : nullptr;
    QList<double> ms;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        load(data);
        if (standIn)
            standIn->answered(*data.link());
        ms << double(timer.nsecsElapsed()) / 1e6;
        if (standIn)
            standIn->copy().wait();
    }
    const double first = ms.first();
    std::sort(ms.begin(), ms.end());
    return {first, ms[ms.size() / 2]};
}

void report(const char *window, const Timing &sqlite, const Timing &server)
{
    const double ratio = server.medianMs / sqlite.medianMs;
    std::printf("rooms: %s load SQLite %.1f ms, PostgreSQL %.1f ms (%.1f x)%s\n", window,
                sqlite.medianMs, server.medianMs, ratio,
                ratio <= 2 && server.medianMs < 150 ? "" : "  MISSES THE GOAL");
    std::printf("  first, on a new connection: SQLite %.1f ms, PostgreSQL %.1f ms\n",
                sqlite.firstMs, server.firstMs);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 4) {
        QTextStream(stderr) << "usage: tessivox-bench-rooms SQLITE_FILE POSTGRESQL_URI "
                               "WORK_FOLDER [SUBJECTS [PER_SUBJECT [RUNS]]]\n";
        return 2;
    }
    const QString file = args[1], uri = args[2], work = args[3];
    const int subjects = args.value(4, QStringLiteral("2000")).toInt();
    const int perSubject = args.value(5, QStringLiteral("25")).toInt();
    const int runs = qMax(1, args.value(6, QStringLiteral("15")).toInt());
    const QString fileFolder = work + QStringLiteral("/file-data");
    const QString serverFolder = work + QStringLiteral("/server-data");
    try {
        for (const QString &location : {file, uri}) {
            TDataModule1 data(location, TDataModule1::Mode::ReadWrite,
                              location == file ? fileFolder : serverFolder);
            fill(data, subjects, perSubject);
        }
        std::printf("%d subjects of %d instructions (%d rows), median of %d loads\n", subjects,
                    perSubject, subjects * perSubject, runs);
        std::printf("goal: the server's loads within 2x of SQLite's and under 150 ms\n");
        report("main-window", measure(file, fileFolder, runs, mainWindowLoad),
               measure(uri, serverFolder, runs, mainWindowLoad));
        const QString subject = subjectName(subjects / 2);
        const auto run = [&](TDataModule1 &data) { runWindowLoad(data, subject); };
        report("run-window", measure(file, fileFolder, runs, run),
               measure(uri, serverFolder, runs, run));
    } catch (const std::exception &error) {
        QTextStream(stderr) << "tessivox-bench-rooms: " << error.what() << "\n";
        return 1;
    }
    return 0;
}
