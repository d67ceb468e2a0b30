#include "schedule/AccessSchedule.h"

#include "data/AccessTime.h"
#include "data/StoredTime.h"

#include <QHash>
#include <algorithm>

namespace AccessSchedule {

namespace {

// Where each column stands in the rows read().
enum VarColumn
{
    VarId,
    VarTitle
};
enum TestColumn
{
    TestName,
    TestStart,
    TestEnd
};
enum SoundColumn
{
    SoundName,
    SoundFile,
    SoundExplain,
    SoundTime
};

QString text(const AccessFile::Row &row, int column)
{
    const QVariant value = row.value(column);
    return value.isNull() ? QString() : value.toString();
}

QString quoted(const AccessFile::Row &row, int column)
{
    const QVariant value = row.value(column);
    return value.isNull() ? QStringLiteral("无值") : QStringLiteral("“%1”").arg(value.toString());
}

QString title(const QList<AccessFile::Row> &var, bool &found)
{
    for (const AccessFile::Row &row : var) {
        const QVariant id = row.value(VarId);
        if (!id.isNull() && id.toString().trimmed() == QStringLiteral("1")) {
            found = true;
            return text(row, VarTitle);
        }
    }
    found = false;
    return {};
}

} // namespace

Mapped map(const QList<AccessFile::Row> &var, const QList<AccessFile::Row> &test,
           const QList<AccessFile::Row> &sound)
{
    Mapped mapped;
    bool titled = false;
    mapped.schedule.title = title(var, titled);
    mapped.noTitle = !titled;

    // Where each subject's instructions go; a subject whose test row was
    // left out takes none.
    QHash<QString, qsizetype> subjects;
    QHash<QString, int> firstRow;
    QHash<QString, QString> notTaken;
    for (int i = 0; i < test.size(); ++i) {
        const AccessFile::Row &row = test.at(i);
        const QString subject = text(row, TestName);
        const auto leave = [&](const QString &reason) {
            mapped.leftOut.append({QStringLiteral("test"), i + 1, subject, reason});
        };
        if (subject.isEmpty()) {
            leave(QStringLiteral("科目名为空"));
            continue;
        }
        if (firstRow.contains(subject)) {
            leave(QStringLiteral("科目重复，保留第 %1 行").arg(firstRow.value(subject)));
            continue;
        }
        firstRow.insert(subject, i + 1);
        Subject taken;
        taken.name = subject;
        taken.hasTestRow = true;
        taken.start = AccessTime::dateTime(row.value(TestStart));
        taken.end = AccessTime::dateTime(row.value(TestEnd));
        QStringList unread;
        if (!taken.start.isValid())
            unread << QStringLiteral("开始时间 %1").arg(quoted(row, TestStart));
        if (!taken.end.isValid())
            unread << QStringLiteral("结束时间 %1").arg(quoted(row, TestEnd));
        if (!unread.isEmpty()) {
            const QString reason =
                QStringLiteral("无法识别%1").arg(unread.join(QStringLiteral("、")));
            leave(reason);
            notTaken.insert(subject, QStringLiteral("科目的 test 第 %1 行未导入").arg(i + 1));
            continue;
        }
        taken.startText = StoredTime::fromDateTime(taken.start);
        taken.endText = StoredTime::fromDateTime(taken.end);
        subjects.insert(subject, mapped.schedule.subjects.size());
        mapped.schedule.subjects.append(taken);
    }

    for (int i = 0; i < sound.size(); ++i) {
        const AccessFile::Row &row = sound.at(i);
        const QString subject = text(row, SoundName);
        const auto leave = [&](const QString &reason) {
            mapped.leftOut.append({QStringLiteral("sound"), i + 1, subject, reason});
        };
        if (!subjects.contains(subject)) {
            leave(notTaken.value(subject, QStringLiteral("没有此科目的 test 行")));
            continue;
        }
        Instruction instruction;
        instruction.filename = text(row, SoundFile);
        instruction.explain = text(row, SoundExplain);
        instruction.time = AccessTime::timeOfDay(row.value(SoundTime));
        if (!instruction.time.isValid()) {
            leave(QStringLiteral("无法识别播放时间 %1").arg(quoted(row, SoundTime)));
            continue;
        }
        instruction.storedTime = StoredTime::fromTime(instruction.time);
        mapped.schedule.subjects[subjects.value(subject)].instructions.append(instruction);
    }
    for (Subject &subject : mapped.schedule.subjects) {
        std::stable_sort(
            subject.instructions.begin(), subject.instructions.end(),
            [](const Instruction &a, const Instruction &b) { return a.time < b.time; });
        for (int n = 0; n < subject.instructions.size(); ++n)
            subject.instructions[n].number = n + 1;
    }
    return mapped;
}

Mapped read(const QString &path)
{
    const AccessFile file(path);
    QStringList missing;
    for (const QString &table :
         {QStringLiteral("var"), QStringLiteral("test"), QStringLiteral("sound")})
        if (!file.tables().contains(table, Qt::CaseInsensitive))
            missing << table;
    if (!missing.isEmpty())
        throw AccessError(
            AccessError::Kind::NoSchedule, path,
            QStringLiteral("no table %1 (tables: %2)")
                .arg(missing.join(QStringLiteral(", ")), file.tables().join(QStringLiteral(", "))));
    return map(
        file.rows(QStringLiteral("var"), {QStringLiteral("id"), QStringLiteral("systitle")}),
        file.rows(QStringLiteral("test"), {QStringLiteral("subjectname"),
                                           QStringLiteral("starttime"), QStringLiteral("endtime")}),
        file.rows(QStringLiteral("sound"),
                  {QStringLiteral("subjectname"), QStringLiteral("filename"),
                   QStringLiteral("explain"), QStringLiteral("playtime")}));
}

} // namespace AccessSchedule
