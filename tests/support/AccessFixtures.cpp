#include "AccessFixtures.h"

#include "data/StoredTime.h"

#include <QCryptographicHash>
#include <QFile>

namespace AccessFixtures {

namespace {

struct Row
{
    const char *time;
    const char *file;
    QString explain;
};

Subject subject(const QString &name, const QString &start, const QString &end,
                const QList<Row> &rows)
{
    Subject subject{
        name, true, start, end, StoredTime::toDateTime(start), StoredTime::toDateTime(end), {}};
    for (const Row &row : rows) {
        Instruction instruction;
        instruction.number = int(subject.instructions.size()) + 1;
        instruction.filename = QString::fromUtf8(row.file);
        instruction.explain = row.explain;
        instruction.storedTime = QString::fromLatin1(row.time);
        instruction.time = QTime::fromString(instruction.storedTime, QStringLiteral("HH:mm:ss"));
        subject.instructions.append(instruction);
    }
    return subject;
}

void write(const QString &target, const QByteArray &bytes)
{
    QFile file(target);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("AccessFixtures: cannot write %s", qPrintable(target));
}

} // namespace

QString path(const QString &name)
{
    return QStringLiteral(TESSIVOX_TEST_SOURCE_DIR "/fixtures/access/") + name;
}

Schedule dateTimeSchedule()
{
    return {
        QStringLiteral("2026年全国统一考试 第三考点（实验中学）"),
        {subject(QStringLiteral("语文"), "2026-06-07 09:00:00", "2026-06-07 11:30:00",
                 {{"08:30:00", "yw-01.wav", QStringLiteral("考生入场。\r\n请出示准考证和身份证。")},
                  {"08:55:00", "yw-02.wav", QStringLiteral("分发试卷。")},
                  {"09:00:00", "yw-03.wav", QStringLiteral("考试开始，考生开始答题。")},
                  {"11:15:00", "yw-04.wav", QString()},
                  {"11:30:00", "yw-05.wav", QStringLiteral("考试结束，请停止答题。")}}),
         subject(QStringLiteral("数学"), "2026-06-07 15:00:00", "2026-06-07 17:00:00",
                 {{"14:30:00", "sx-01.wav", QStringLiteral("考生入场")},
                  {"16:45:00", "sx-02.wav", QStringLiteral("距考试结束还有15分钟")},
                  {"17:00:00", "sx-03.wav", QStringLiteral("考试结束")}}),
         subject(QStringLiteral("英语 'A' 卷"), "2026-06-08 15:00:00", "2026-06-08 17:00:00",
                 {{"14:40:30", "yy-listening 01.wav", QStringLiteral("听力试音开始 \"Part A\"")},
                  {"15:00:00", "yy-02.wav", QString()}})}};
}

Schedule textSchedule()
{
    return {QStringLiteral("2026年全国统一考试 第三考点（实验中学）"),
            {subject(QStringLiteral("语文"), "2026-06-07 09:00:00", "2026-06-07 11:30:00",
                     {{"08:30:00", "t0.wav", QStringLiteral("指令 0")},
                      {"08:55:00", "t1.wav", QStringLiteral("指令 1")},
                      {"09:00:00", "t2.wav", QStringLiteral("指令 2")}}),
             subject(QStringLiteral("数学"), "2026-06-07 15:00:00", "2026-06-07 17:00:00",
                     {{"14:30:00", "t3.wav", QStringLiteral("指令 3")},
                      {"16:45:00", "t4.wav", QStringLiteral("指令 4")}})}};
}

QByteArray copy(const QString &name, const QString &target, qint64 length)
{
    QFile source(path(name));
    if (!source.open(QIODevice::ReadOnly))
        qFatal("AccessFixtures: no fixture %s", qPrintable(name));
    const QByteArray bytes = length < 0 ? source.readAll() : source.read(length);
    write(target, bytes);
    return bytes;
}

QByteArray copyWithoutTables(const QString &name, const QString &target)
{
    QByteArray bytes = copy(name, target);
    // Jet 4 keeps the names in its catalogue as UTF-16: renamed in place,
    // the tables and their rows stay whole under other names.
    for (const auto &[from, to] :
         {std::pair{u"sound", u"noise"}, std::pair{u"test", u"exam"}, std::pair{u"var", u"xyz"}}) {
        const QByteArray old(reinterpret_cast<const char *>(from),
                             qsizetype(std::char_traits<char16_t>::length(from) * 2));
        const qsizetype at = bytes.indexOf(old);
        if (at < 0)
            qFatal("AccessFixtures: no table name to rename in %s", qPrintable(name));
        bytes.replace(at, old.size(), QByteArray(reinterpret_cast<const char *>(to), old.size()));
    }
    write(target, bytes);
    return bytes;
}

QByteArray sha256(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256).toHex();
}

} // namespace AccessFixtures
