#include "UploadCommand.h"

#include "Arguments.h"
#include "CommandInput.h"
#include "data/DbError.h"
#include "data/ServerAddress.h"
#include "data/ServerLink.h"
#include "data/SoundStore.h"
#include "schedule/NamedRecordings.h"

#include <QDir>
#include <QFileInfo>
#include <optional>

namespace {

// A piece that takes longer than this has met a server that stopped
// answering.
constexpr std::chrono::milliseconds Deadline{60'000};

} // namespace

int UploadCommand::run(const Arguments &arguments)
{
    const QString uri = arguments.positional().at(0);
    if (!ServerAddress::isServer(uri))
        return CommandInput::refuse(
            m_err, QStringLiteral("%1: upload needs a server (postgresql://...)").arg(uri));
    const QString folder = CommandInput::soundFolder(arguments);
    QStringList sent, skipped, notFound;
    try {
        ServerLink link(uri);
        const std::optional<NamedRecordings::Named> kept =
            NamedRecordings::readIfKept(link, Deadline);
        if (!kept)
            return CommandInput::refuse(
                m_err, QStringLiteral("%1 has no table sound_file (tessivox-db upgrade adds it)")
                           .arg(ServerAddress::shown(uri)));
        const NamedRecordings::Named &named = *kept;
        QStringList names = named.names;
        names.sort();
        for (const QString &name : names) {
            const QString path = QDir(folder).filePath(name);
            if (!QFileInfo(path).isFile()) {
                (named.held.contains(name) ? skipped : notFound) << name;
                continue;
            }
            const auto outcome = SoundStore::store(link, name, path, Deadline);
            (outcome == SoundStore::Outcome::Sent ? sent : skipped) << name;
            if (outcome == SoundStore::Outcome::Sent)
                m_out << "sent " << name << "\n";
            m_out.flush();
        }
    } catch (const std::exception &failure) {
        return CommandInput::refuse(m_err, CommandInput::reason(failure));
    }
    m_out << "Sound files from " << QDir::toNativeSeparators(folder) << " to "
          << ServerAddress::shown(uri) << "\n";
    const auto list = [this](const char *what, const QStringList &names) {
        m_out << what << " (" << names.size() << ")"
              << (names.isEmpty() ? QString()
                                  : QStringLiteral(": ") + names.join(QStringLiteral(", ")))
              << "\n";
    };
    list("sent", sent);
    list("skipped, the server holds them", skipped);
    list("not found in the folder nor on the server", notFound);
    return notFound.isEmpty() ? 0 : 1;
}
