// The recordings of a centre on one server: rooms fetching them at once, and
// one large file stored and fetched. bench/sounds runs it.
//
//   tessivox-bench-sounds fetch URI FOLDER ROOMS   ROOMS fetchers, each its own cache
//   tessivox-bench-sounds start URI FOLDER ROOMS FIRST
//                                                  ROOMS rooms starting with today's
//                                                  announcements; FIRST the run's first file
//   tessivox-bench-sounds store URI NAME FILE      SoundStore::store of FILE as NAME
//   tessivox-bench-sounds lo-store URI FILE        the same content as a large object
//   tessivox-bench-sounds lo-fetch URI OID FILE    and back
#include "data/DbError.h"
#include "data/Query.h"
#include "data/ServerAddress.h"
#include "data/ServerLink.h"
#include "data/Session.h"
#include "data/SoundStore.h"
#include "office/Announcements.h"
#include "schedule/SoundFetcher.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTextStream>
#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

// The process's resident memory now and at its peak, in MB.
std::pair<double, double> memoryMb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    status.open(QIODevice::ReadOnly);
    const QString text = QString::fromLatin1(status.readAll());
    const auto kb = [&](const char *key) {
        const QRegularExpressionMatch m =
            QRegularExpression(QStringLiteral("%1:\\s+(\\d+) kB").arg(QLatin1String(key)))
                .match(text);
        return m.captured(1).toDouble() / 1024;
    };
    return {kb("VmRSS"), kb("VmHWM")};
}

void report(const char *what, const QElapsedTimer &timer, double rssBefore)
{
    const auto [rss, peak] = memoryMb();
    std::printf("%s: %.2f s, process peak %.1f MB, grew by %.1f MB at most\n", what,
                timer.elapsed() / 1000.0, peak, peak - rssBefore);
    std::fflush(stdout);
}

// The large object's own connection, for the comparison only.
QSqlDatabase open(const QString &uri)
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("bench"));
    ServerAddress::configure(db, uri);
    if (!db.open())
        throw DbError(db.lastError().text());
    return db;
}

int fetch(const QString &uri, const QString &folder, int rooms)
{
    const double before = memoryMb().first;
    std::vector<std::unique_ptr<SoundFetcher>> fetchers;
    int ready = 0;
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < rooms; ++i) {
        auto fetcher = std::make_unique<SoundFetcher>(SoundFetcher::Room{
            uri, QStringLiteral("%1/room%2").arg(folder).arg(i), folder + "/empty", 1000});
        QObject::connect(
            fetcher.get(), &SoundFetcher::progress, qApp,
            [&ready, &timer, rooms, before](int held, int named) {
                if (held < named || named == 0)
                    return;
                if (++ready == rooms) {
                    report(qPrintable(QStringLiteral("%1 rooms hold every file").arg(rooms)), timer,
                           before);
                    qApp->quit();
                }
            });
        QObject::connect(fetcher.get(), &SoundFetcher::failed, qApp, [](const QString &why) {
            std::printf("a fetch failed: %s\n", qPrintable(why));
        });
        fetcher->fetch();
        fetchers.push_back(std::move(fetcher));
    }
    return QCoreApplication::exec();
}

// Rooms that start together, each as a room's program starts: today's
// announcements read, the recordings still to come asked for, the run's
// files first. Each room's time until it holds the run's first recording
// and the new announcement's, against the seconds they play at.
int start(const QString &uri, const QString &folder, int rooms, const QString &first)
{
    QList<Announcements::Due> due;
    QHash<QString, SoundStore::Held> held;
    ServerLink link(uri);
    link.run(
        [&](Session &session) {
            due =
                Announcements::readFor(session.db(), QStringLiteral("Room"), QDate::currentDate());
            held = SoundStore::held(session.db());
        },
        std::chrono::seconds(30));
    const QTime now = QTime::currentTime();
    const QList<SoundStore::Held> wanted = Announcements::toFetch(due, now, {});
    if (wanted.isEmpty() || !held.contains(first))
        throw DbError(QStringLiteral("no announcement still to come, or no ") + first);
    const QTime announced = due.last().second;
    QList<QPair<QString, QTime>> awaited{{held.value(first).sha256, QTime()},
                                         {wanted.first().sha256, announced}};
    QList<double> firstMs, announcementMs;
    qint64 pastBytes = 0;
    std::vector<std::unique_ptr<SoundFetcher>> fetchers;
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < rooms; ++i) {
        const QString cache = QStringLiteral("%1/room%2").arg(folder).arg(i);
        auto fetcher =
            std::make_unique<SoundFetcher>(SoundFetcher::Room{uri, cache, folder + "/empty", 1000});
        auto done = std::make_shared<QSet<QString>>();
        QObject::connect(
            fetcher.get(), &SoundFetcher::progress, qApp, [=, &firstMs, &announcementMs] {
                for (const auto &[sha, second] : awaited) {
                    if (done->contains(sha) || !QFile::exists(cache + "/" + sha + ".wav"))
                        continue;
                    done->insert(sha);
                    (second.isValid() ? announcementMs : firstMs) << timer.elapsed();
                }
                if (firstMs.size() == rooms && announcementMs.size() == rooms)
                    qApp->quit();
            });
        fetcher->fetchContent(wanted);
        fetcher->fetch({first});
        fetchers.push_back(std::move(fetcher));
    }
    QCoreApplication::exec();
    for (int i = 0; i < rooms; ++i)
        for (const Announcements::Due &one : due)
            if (one.second < now)
                pastBytes +=
                    QFileInfo(QStringLiteral("%1/room%2/%3.wav").arg(folder).arg(i).arg(one.sha256))
                        .size();
    const auto figures = [](QList<double> ms) {
        std::sort(ms.begin(), ms.end());
        return QStringLiteral("p50 %1 s, max %2 s")
            .arg(ms.at(ms.size() / 2) / 1000, 0, 'f', 2)
            .arg(ms.last() / 1000, 0, 'f', 2);
    };
    std::printf("the run's first recording held: %s\n", qPrintable(figures(firstMs)));
    std::printf("the new announcement's held: %s; its second was %.1f s after the start\n",
                qPrintable(figures(announcementMs)), now.msecsTo(announced) / 1000.0);
    std::printf("bytes of past announcements fetched by all rooms: %lld\n", pastBytes);
    return 0;
}

int store(const QString &uri, const QString &name, const QString &file)
{
    const double before = memoryMb().first;
    QElapsedTimer timer;
    timer.start();
    ServerLink link(uri);
    SoundStore::store(link, name, file, std::chrono::minutes(10));
    report("stored as bytea pieces", timer, before);
    return 0;
}

int loStore(const QString &uri, const QString &file)
{
    const double before = memoryMb().first;
    QElapsedTimer timer;
    timer.start();
    const QSqlDatabase db = open(uri);
    QFile in(file);
    in.open(QIODevice::ReadOnly);
    Query::run(db, {QStringLiteral("BEGIN"), {}});
    QSqlQuery created = Query::run(db, {QStringLiteral("SELECT lo_create(0)"), {}});
    created.next();
    const qint64 oid = created.value(0).toLongLong();
    for (qint64 offset = 0;; offset += SoundStore::ChunkBytes) {
        const QByteArray piece = in.read(SoundStore::ChunkBytes);
        if (piece.isEmpty())
            break;
        Query::run(db, {QStringLiteral("SELECT lo_put(?::oid, ?, ?)"), {oid, offset, piece}});
    }
    Query::run(db, {QStringLiteral("COMMIT"), {}});
    report("stored as a large object", timer, before);
    std::printf("oid %lld\n", oid);
    return 0;
}

int loFetch(const QString &uri, qint64 oid, const QString &file)
{
    const double before = memoryMb().first;
    QElapsedTimer timer;
    timer.start();
    const QSqlDatabase db = open(uri);
    QFile out(file);
    out.open(QIODevice::WriteOnly);
    for (qint64 offset = 0;; offset += SoundStore::ChunkBytes) {
        QSqlQuery piece = Query::run(db, {QStringLiteral("SELECT lo_get(?::oid, ?, ?)"),
                                          {oid, offset, int(SoundStore::ChunkBytes)}});
        piece.next();
        const QByteArray bytes = piece.value(0).toByteArray();
        if (bytes.isEmpty())
            break;
        out.write(bytes);
    }
    report("fetched from a large object", timer, before);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList a = app.arguments();
    try {
        if (a.size() == 5 && a[1] == "fetch")
            return fetch(a[2], a[3], a[4].toInt());
        if (a.size() == 6 && a[1] == "start")
            return start(a[2], a[3], a[4].toInt(), a[5]);
        if (a.size() == 5 && a[1] == "store")
            return store(a[2], a[3], a[4]);
        if (a.size() == 4 && a[1] == "lo-store")
            return loStore(a[2], a[3]);
        if (a.size() == 5 && a[1] == "lo-fetch")
            return loFetch(a[2], a[3].toLongLong(), a[4]);
    } catch (const std::exception &error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    std::fprintf(stderr, "usage: see bench/sounds\n");
    return 2;
}
