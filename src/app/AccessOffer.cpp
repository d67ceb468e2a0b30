#include "app/AccessOffer.h"

#include "data/DbError.h"
#include "platform/MessageBoxes.h"
#include "schedule/AccessImport.h"

#include <QCoreApplication>
#include <QDir>

namespace {

const QString Caption = QStringLiteral("Tessivox");
// Subjects and rows named one by one in the report's box: more would not
// fit on the screen.
constexpr int ListedInBox = 15;

// The tool lies beside the program.
QString laterCommand(const QString &path)
{
    const auto quoted = [](const QString &text) {
        const QString shown = QDir::toNativeSeparators(text);
        return shown.contains(QLatin1Char(' ')) ? QLatin1Char('"') + shown + QLatin1Char('"')
                                                : shown;
    };
    return QStringLiteral("%1 import %2")
        .arg(quoted(QCoreApplication::applicationDirPath() + QStringLiteral("/tessivox-db")),
             quoted(path));
}

} // namespace

void offerAccessImport(MessageBoxes &boxes, const QString &path, const QString &soundFolder)
{
    const QString shown = QDir::toNativeSeparators(path);
    if (!AccessFile::readable()) {
        boxes.show(
            nullptr,
            QStringLiteral("数据文件 %1 是 Access 数据库中的考试安排，不是 Tessivox 的数据库。\n"
                           "此版本的 Tessivox 不能读取 Access 文件。请把它复制到装有 Linux 版 "
                           "Tessivox 的电脑上，运行：\ntessivox-db import asdf.mdb asdf-new.mdb\n"
                           "再把得到的 asdf-new.mdb 复制回此电脑，把原文件 %1 改名保留，"
                           "然后将 asdf-new.mdb 改名为 %1。")
                .arg(shown),
            Caption, MessageBoxes::Buttons::Ok, MessageBoxes::Icon::Warning);
        return;
    }
    const QString offer =
        QStringLiteral("数据文件 %1 是 Access 数据库中的考试安排，不是 Tessivox 的数据库。\n\n"
                       "现在导入吗？原 Access 文件原样保留在旁边，改名为 %2；"
                       "Tessivox 在原位置建立新的数据库，写入其中的标题、科目和语音指令。\n\n"
                       "按“确定”导入，按“取消”不做任何改动。")
            .arg(shown, QDir::toNativeSeparators(AccessImport::keptName(path)));
    if (boxes.show(nullptr, offer, Caption, MessageBoxes::Buttons::OkCancel,
                   MessageBoxes::Icon::Information) != MessageBoxes::Answer::Ok) {
        boxes.show(
            nullptr,
            QStringLiteral("未做任何改动。以后要导入，请退出 Tessivox，在文件夹 %1 中运行：\n"
                           "%2\n或重新启动 Tessivox，在此提示中按“确定”。")
                .arg(QDir::toNativeSeparators(QDir::currentPath()), laterCommand(path)),
            Caption, MessageBoxes::Buttons::Ok, MessageBoxes::Icon::Information);
        return;
    }
    try {
        const AccessSchedule::Mapped mapped = AccessSchedule::read(path);
        const QString kept = AccessImport::convertInPlace(path, mapped);
        boxes.show(nullptr,
                   QStringLiteral("导入完成。原 Access 文件保存为 %1。\n\n%2")
                       .arg(QDir::toNativeSeparators(kept),
                            AccessImport::report(
                                mapped, AccessImport::missingSounds(mapped.schedule, soundFolder),
                                soundFolder, ListedInBox)),
                   Caption, MessageBoxes::Buttons::Ok, MessageBoxes::Icon::Information);
    } catch (const AccessError &failure) {
        boxes.show(nullptr, failure.userText() + QStringLiteral("\n文件未做任何改动。"), Caption,
                   MessageBoxes::Buttons::Ok, MessageBoxes::Icon::Error);
    } catch (const DbError &failure) {
        boxes.show(nullptr,
                   QStringLiteral("导入失败，Access 文件仍在原处，未做改动。\n%1")
                       .arg(QString::fromUtf8(failure.what())),
                   Caption, MessageBoxes::Buttons::Ok, MessageBoxes::Icon::Error);
    }
}
