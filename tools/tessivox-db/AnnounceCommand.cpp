#include "AnnounceCommand.h"

#include "Arguments.h"
#include "CommandInput.h"
#include "data/ServerAddress.h"
#include "data/ServerLink.h"
#include "office/Announcements.h"

#include <QTime>

namespace {

// Storing a recording goes a piece a job; each may take this long.
constexpr std::chrono::milliseconds Deadline{60'000};

} // namespace

int AnnounceCommand::run(const Arguments &arguments)
{
    const QString uri = arguments.positional().at(0);
    if (!ServerAddress::isServer(uri))
        return CommandInput::refuse(
            m_err,
            QStringLiteral("%1: announce needs the centre's server (postgresql://...)").arg(uri));
    const QTime second =
        QTime::fromString(arguments.value(QStringLiteral("at")), QStringLiteral("HH:mm:ss"));
    if (!second.isValid())
        return CommandInput::refuse(m_err, QStringLiteral("--at must be a time of day HH:MM:SS: %1")
                                               .arg(arguments.value(QStringLiteral("at"))));
    const QString rooms = arguments.value(QStringLiteral("rooms"));
    const Announcements::Request request{
        arguments.positional().at(1), second,
        arguments.has(QStringLiteral("rooms")) ? rooms.split(QLatin1Char(',')) : QStringList(),
        arguments.value(QStringLiteral("text"))};
    Announcements::Published published;
    try {
        ServerLink link(uri);
        published = Announcements::publish(link, request, Deadline);
    } catch (const std::exception &failure) {
        return CommandInput::refuse(m_err, CommandInput::reason(failure));
    }
    m_out << "Announcement #" << published.id << " at "
          << second.toString(QStringLiteral("HH:mm:ss")) << " on "
          << published.day.toString(Qt::ISODate) << ", " << ServerAddress::shown(uri)
          << "\n  rooms: " << (request.rooms.isEmpty() ? QStringLiteral("all") : rooms)
          << "\n  recording: " << published.file
          << (published.sent ? " (sent)" : " (the server held it)") << "\n";
    if (!request.text.isEmpty())
        m_out << "  text: " << request.text << "\n";
    if (!published.fastRooms.isEmpty())
        m_err << "tessivox-db: warning: these rooms' clocks run so far ahead of the server's "
                 "that the second comes for them before they can have it ready, and they "
                 "miss it: "
              << published.fastRooms.join(QStringLiteral(", ")) << "\n";
    return 0;
}
