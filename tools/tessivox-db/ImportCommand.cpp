#include "ImportCommand.h"

#include "Arguments.h"
#include "CommandInput.h"
#include "UploadCommand.h"
#include "data/DbError.h"
#include "data/ServerAddress.h"
#include "data/TDataModule1.h"
#include "schedule/AccessImport.h"
#include "schedule/DataScheduleRepository.h"

#include <QDir>
#include <QFileInfo>

namespace {

// A schedule of thousands of instructions takes seconds to write; a server
// that does not answer in this time has stopped.
constexpr std::chrono::milliseconds ImportDeadline{60'000};

enum class Target
{
    // The Access file itself: it gives way to a Tessivox database.
    Itself,
    NewFile,
    Database
};

Target kindOf(const QString &file, const QString &target)
{
    if (ServerAddress::isServer(target))
        return Target::Database;
    const QFileInfo info(target);
    if (!info.exists())
        return Target::NewFile;
    return info.canonicalFilePath() == QFileInfo(file).canonicalFilePath() ? Target::Itself
                                                                           : Target::Database;
}

QString shown(const QString &location)
{
    return ServerAddress::isServer(location) ? ServerAddress::shown(location)
                                             : QDir::toNativeSeparators(location);
}

} // namespace

int ImportCommand::run(const Arguments &arguments)
{
    const QString file = arguments.positional().at(0);
    const QString target =
        arguments.positional().value(1, QString::fromLatin1(TDataModule1::DefaultPath));
    if (const QString unusable = CommandInput::unusableLocation(target); !unusable.isEmpty())
        return CommandInput::refuse(m_err, unusable);
    const Target kind = kindOf(file, target);
    if (kind == Target::Database && AccessFile::format(target) != AccessFile::Format::None)
        return CommandInput::refuse(
            m_err, QStringLiteral("%1 is an Access file too; import it first, or name another "
                                  "target. Nothing was written.")
                       .arg(shown(target)));
    const QString soundFolder = CommandInput::soundFolder(arguments);
    const bool dryRun = arguments.has(QStringLiteral("dry-run"));
    const bool replace = arguments.has(QStringLiteral("replace"));
    AccessSchedule::Mapped mapped;
    try {
        mapped = AccessSchedule::read(file);
        std::unique_ptr<TDataModule1> module;
        std::unique_ptr<DataScheduleRepository> repository;
        QStringList existing;
        if (kind == Target::Database) {
            module = std::make_unique<TDataModule1>(target);
            module->setDeadline(ImportDeadline);
            repository = std::make_unique<DataScheduleRepository>(*module);
            existing = repository->existing(mapped.schedule);
        }
        m_out << "从 Access 文件 " << QDir::toNativeSeparators(file) << " 导入到 " << shown(target)
              << (dryRun ? "（试运行，不写入）" : "") << "\n"
              << AccessImport::report(
                     mapped, AccessImport::missingSounds(mapped.schedule, soundFolder), soundFolder)
              << "\n";
        m_out.flush();
        if (!existing.isEmpty() && !replace)
            return CommandInput::refuse(
                m_err, QStringLiteral("%1 already holds the subjects %2; --replace replaces them. "
                                      "Nothing was written.")
                           .arg(shown(target), existing.join(QStringLiteral(", "))));
        if (dryRun) {
            m_out << "试运行：未写入任何内容。\n";
        } else if (kind == Target::Database) {
            repository->store(mapped.schedule, replace);
        } else if (kind == Target::NewFile) {
            AccessImport::storeNewFile(target, mapped);
        } else {
            const QString kept = AccessImport::convertInPlace(file, mapped);
            m_out << "原 Access 文件保存为 " << QDir::toNativeSeparators(kept) << "\n";
        }
    } catch (const AccessError &failure) {
        return CommandInput::refuse(m_err, QString::fromUtf8(failure.what()) +
                                               QStringLiteral(". Nothing was written."));
    } catch (const std::exception &failure) {
        return CommandInput::refuse(m_err, CommandInput::reason(failure) +
                                               QStringLiteral(" Nothing was written."));
    }
    const int code = mapped.leftOut.isEmpty() ? 0 : 1;
    if (dryRun || !ServerAddress::isServer(target) || !arguments.has(QStringLiteral("sound-dir")))
        return code;
    // The recordings go to the centre as the upload command sends them; a
    // failure there leaves the schedule written.
    QString error;
    const std::optional<Arguments> upload =
        Arguments::parse({target, QStringLiteral("--sound-dir"), soundFolder},
                         {1, {QStringLiteral("sound-dir")}, {}}, error);
    return UploadCommand(m_out, m_err).run(*upload) == 2 ? 1 : code;
}
