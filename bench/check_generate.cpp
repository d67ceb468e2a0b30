// Writes a large exam database and its sound files for bench/check:
//   tessivox-bench-check-generate FOLDER SUBJECTS PER_SUBJECT FILES
// FOLDER/asdf.mdb holds SUBJECTS subjects of PER_SUBJECT instructions each,
// ten minutes apart from 08:00, naming FILES distinct WAV files round-robin,
// and one whole-day subject "全天" with an instruction every five minutes.
// FOLDER/sound holds the files: silence of one to five seconds.

#include "data/Query.h"
#include "data/Transaction.h"
#include "run/SoundFile.h"
#include "schedule/ScheduleTables.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTextStream>
#include <QTime>
#include <sndfile.h>
#include <vector>

namespace {

constexpr int Rate = 8000;

QString fileName(int index)
{
    return QStringLiteral("指令-%1.wav").arg(index, 6, 10, QLatin1Char('0'));
}

bool writeSilence(const QString &path, int seconds)
{
    SF_INFO info{0, Rate, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 0, 0};
    SNDFILE *file = openSoundFile(path, SFM_WRITE, &info);
    if (!file)
        return false;
    const std::vector<short> samples(size_t(seconds * Rate));
    const sf_count_t written = sf_write_short(file, samples.data(), sf_count_t(samples.size()));
    return sf_close(file) == 0 && written == sf_count_t(samples.size());
}

void insertSound(const QSqlDatabase &db, const QString &subject, int file, const QTime &time)
{
    Query::run(db, {QStringLiteral("INSERT INTO sound (subjectname, filename, explain, playtime) "
                                   "VALUES (?, ?, ?, ?)"),
                    {subject, fileName(file), QStringLiteral("考生请注意：第%1条指令").arg(file),
                     time.toString(QStringLiteral("HH:mm:ss"))}});
}

void build(const QString &folder, int subjects, int perSubject, int files)
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"));
    db.setDatabaseName(folder + QStringLiteral("/asdf.mdb"));
    if (!db.open())
        throw std::runtime_error("cannot create the database");
    ScheduleTables::create(db, QStringLiteral("Tessivox"));
    Transaction::run(db, ScheduleTables::beginWriting(Dialect::of(db)), [&] {
        for (int s = 0; s < subjects; ++s) {
            const QString subject = QStringLiteral("科目%1").arg(s);
            Query::run(db, {QStringLiteral("INSERT INTO test (subjectname, starttime, endtime) "
                                           "VALUES (?, '2099-06-07 07:55:00', "
                                           "'2099-06-07 23:59:00')"),
                            {subject}});
            for (int i = 0; i < perSubject; ++i)
                insertSound(db, subject, (s * perSubject + i) % files,
                            QTime(8, 0).addSecs(600 * i));
        }
        const QString wholeDay = QStringLiteral("全天");
        Query::run(db, {QStringLiteral("INSERT INTO test (subjectname, starttime, endtime) "
                                       "VALUES (?, '2099-06-07 00:00:00', '2099-06-07 23:59:59')"),
                        {wholeDay}});
        for (int i = 0; i < 24 * 12; ++i)
            insertSound(db, wholeDay, i % files, QTime(0, 0, 30).addSecs(300 * i));
    });
    db.close();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments().mid(1);
    const int subjects = arguments.value(1).toInt();
    const int perSubject = arguments.value(2).toInt();
    const int files = arguments.value(3).toInt();
    if (arguments.size() != 4 || subjects < 1 || perSubject < 1 || files < 1) {
        QTextStream(stderr)
            << "usage: tessivox-bench-check-generate FOLDER SUBJECTS PER_SUBJECT FILES\n";
        return 2;
    }
    const QString folder = arguments.at(0);
    if (!QDir().mkpath(folder + QStringLiteral("/sound")))
        return 1;
    for (int i = 0; i < files; ++i) {
        if (!writeSilence(folder + QStringLiteral("/sound/") + fileName(i), 1 + i % 5))
            return 1;
    }
    try {
        build(folder, subjects, perSubject, files);
    } catch (const std::exception &error) {
        QTextStream(stderr) << "tessivox-bench-check-generate: " << error.what() << "\n";
        return 1;
    }
    return 0;
}
