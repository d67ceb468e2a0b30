#include "schedule/AccessImport.h"

#include "data/DbError.h"
#include "data/Dialect.h"
#include "data/TDataModule1.h"
#include "schedule/DataScheduleRepository.h"
#include "schedule/ScheduleTables.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QSet>
#include <QSqlDatabase>
#include <QTemporaryFile>
#include <filesystem>
#include <system_error>

#ifdef Q_OS_WIN
#include <io.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace AccessImport {

namespace {

DbError fileError(const QString &path, const QString &what)
{
    return DbError(QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), what));
}

// Flushes a file's content, or a folder's list of names, to the disk, so
// that a rename made after it never points at data still in memory.
void sync(const QString &path)
{
#ifdef Q_OS_WIN
    if (QFileInfo(path).isDir())
        return;
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite) || _commit(file.handle()) != 0)
        throw fileError(path, QStringLiteral("cannot be written to the disk"));
#else
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    const bool synced = fd >= 0 && ::fsync(fd) == 0;
    if (fd >= 0)
        ::close(fd);
    if (!synced)
        throw fileError(path, QStringLiteral("cannot be written to the disk"));
#endif
}

QString shownTime(const QDateTime &value)
{
    return value.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

std::filesystem::path native(const QString &path)
{
    return std::filesystem::path(path.toStdU16String());
}

// A new database file beside path holding mapped, synced; its name.
QString build(const QString &path, const AccessSchedule::Mapped &mapped)
{
    QTemporaryFile staging(path + QStringLiteral(".import-XXXXXX"));
    staging.setAutoRemove(false);
    if (!staging.open())
        throw fileError(staging.fileTemplate(), staging.errorString());
    const QString name = staging.fileName();
    staging.close();
    auto removeOnFailure = qScopeGuard([&] { QFile::remove(name); });
    {
        const QString connection = QStringLiteral("access-import-") + name;
        const auto closeConnection = qScopeGuard([&] { QSqlDatabase::removeDatabase(connection); });
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        db.setDatabaseName(name);
        if (!db.open())
            throw Dialect::error(Dialect::Engine::SQLite, db.lastError()).concerning(name);
        ScheduleTables::create(db, mapped.schedule.title.isEmpty() ? ScheduleTables::DefaultTitle
                                                                   : mapped.schedule.title);
        db.close();
    }
    {
        TDataModule1 module(name, TDataModule1::Mode::ReadWrite, QFileInfo(name).absolutePath());
        DataScheduleRepository repository(module);
        repository.store(mapped.schedule, false);
    }
    // A temporary file is private to its owner; a database is not.
    QFile::setPermissions(name, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser |
                                    QFile::WriteUser | QFile::ReadGroup | QFile::ReadOther);
    sync(name);
    removeOnFailure.dismiss();
    return name;
}

} // namespace

QStringList missingSounds(const Schedule &schedule, const QString &folder)
{
    QSet<QString> missing;
    for (const Subject &subject : schedule.subjects)
        for (const Instruction &instruction : subject.instructions)
            if (instruction.filename.isEmpty() ||
                !QFileInfo(QDir(folder).filePath(instruction.filename)).isFile())
                missing.insert(instruction.filename);
    QStringList sorted(missing.cbegin(), missing.cend());
    sorted.sort();
    return sorted;
}

QString report(const AccessSchedule::Mapped &mapped, const QStringList &missing,
               const QString &soundFolder, int listed)
{
    QStringList lines;
    // Up to limit of items as lines, then how many more there are.
    const auto list = [&lines](const QStringList &items, int limit) {
        const qsizetype shown = limit < 0 ? items.size() : qMin<qsizetype>(limit, items.size());
        lines << items.mid(0, shown);
        if (shown < items.size())
            lines << QStringLiteral("  ……另有 %1 项").arg(items.size() - shown);
    };
    lines << (mapped.noTitle ? QStringLiteral("标题：（var 表中没有 id 为 1 的行，标题不变）")
                             : QStringLiteral("标题：%1").arg(mapped.schedule.title));
    QStringList subjects;
    for (const Subject &subject : mapped.schedule.subjects)
        subjects << QStringLiteral("  %1　%2 至 %3，指令 %4 条")
                        .arg(subject.name, shownTime(subject.start), shownTime(subject.end))
                        .arg(subject.instructions.size());
    lines << QStringLiteral("科目 %1 个：").arg(subjects.size());
    list(subjects, listed);
    if (mapped.leftOut.isEmpty()) {
        lines << QStringLiteral("所有行均已导入。");
    } else {
        QStringList rows;
        for (const AccessSchedule::LeftOut &row : mapped.leftOut)
            rows << QStringLiteral("  %1 表第 %2 行（科目“%3”）：%4")
                        .arg(row.table)
                        .arg(row.row)
                        .arg(row.subject, row.reason);
        lines << QStringLiteral("未导入 %1 行：").arg(rows.size());
        list(rows, listed);
    }
    if (!missing.isEmpty()) {
        constexpr int MissingNamed = 30;
        QStringList names = missing.mid(0, MissingNamed);
        for (QString &name : names)
            if (name.isEmpty())
                name = QStringLiteral("（无文件名）");
        lines << QStringLiteral("声音文件夹 %1 中缺少 %2 个文件：%3%4")
                     .arg(QDir::toNativeSeparators(soundFolder))
                     .arg(missing.size())
                     .arg(names.join(QStringLiteral("、")),
                          missing.size() > MissingNamed ? QStringLiteral("……") : QString());
    }
    return lines.join(QLatin1Char('\n'));
}

void storeNewFile(const QString &path, const AccessSchedule::Mapped &mapped)
{
    const QFileInfo target(path);
    if (!QDir().mkpath(target.absolutePath()))
        throw fileError(target.absolutePath(), QStringLiteral("cannot create the folder"));
    const QString built = build(target.absoluteFilePath(), mapped);
    // Never replaces a file that appeared at path in the meantime.
    if (!QFile::rename(built, target.absoluteFilePath())) {
        QFile::remove(built);
        throw fileError(path, QStringLiteral("cannot create the file (it appeared meanwhile or "
                                             "the folder refuses it)"));
    }
    sync(target.absolutePath());
}

QString keptName(const QString &path)
{
    const QFileInfo info(path);
    const QString suffix = info.suffix().isEmpty() ? QString() : QLatin1Char('.') + info.suffix();
    for (int n = 1;; ++n) {
        const QString name =
            info.dir().filePath(info.completeBaseName() + QStringLiteral("-access") +
                                (n == 1 ? QString() : QStringLiteral("-%1").arg(n)) + suffix);
        if (!QFileInfo::exists(name) && !QFileInfo(name).isSymLink())
            return name;
    }
}

QString convertInPlace(const QString &path, const AccessSchedule::Mapped &mapped)
{
    const QFileInfo original(path);
    const QString folder = original.absolutePath();
    const QString built = build(original.absoluteFilePath(), mapped);
    auto removeBuilt = qScopeGuard([&] { QFile::remove(built); });

    // The copy is made under a temporary name and renamed when whole, so a
    // kept file is never a part of the Access file.
    QTemporaryFile copy(original.absoluteFilePath() + QStringLiteral(".keep-XXXXXX"));
    if (!copy.open())
        throw fileError(copy.fileTemplate(), copy.errorString());
    QFile::Permissions permissions;
    {
        QFile source(original.absoluteFilePath());
        if (!source.open(QIODevice::ReadOnly))
            throw fileError(path, source.errorString());
        permissions = source.permissions();
        while (!source.atEnd()) {
            const QByteArray block = source.read(1 << 20);
            if (block.isEmpty() || copy.write(block) != block.size())
                throw fileError(copy.fileName(), copy.errorString());
        }
    }
    copy.close();
    copy.setPermissions(permissions);
    sync(copy.fileName());
    const QString kept = keptName(original.absoluteFilePath());
    if (!copy.rename(kept))
        throw fileError(kept, copy.errorString());
    copy.setAutoRemove(false);
    sync(folder);

    std::error_code failure;
    std::filesystem::rename(native(built), native(original.absoluteFilePath()), failure);
    if (failure)
        throw fileError(path, QString::fromStdString(failure.message()));
    removeBuilt.dismiss();
    sync(folder);
    return kept;
}

} // namespace AccessImport
