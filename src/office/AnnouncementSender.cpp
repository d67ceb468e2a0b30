#include "office/AnnouncementSender.h"

#include "data/ServerLink.h"

#include <thread>

AnnouncementSender::AnnouncementSender(QString serverUri, Announcements::Request request)
    : m_server(std::move(serverUri)), m_request(std::move(request))
{}

std::shared_ptr<AnnouncementSender> AnnouncementSender::start(QString serverUri,
                                                              Announcements::Request request,
                                                              QObject *receiver, Done done)
{
    std::shared_ptr<AnnouncementSender> sender(
        new AnnouncementSender(std::move(serverUri), std::move(request)));
    // Connected before the thread starts: a file that is not there fails
    // at once.
    connect(sender.get(), &AnnouncementSender::finished, receiver, std::move(done),
            Qt::QueuedConnection);
    std::thread([sender] { sender->work(); }).detach();
    return sender;
}

void AnnouncementSender::cancel()
{
    m_link.cancel();
}

void AnnouncementSender::work()
{
    Announcements::Published published;
    QString error;
    try {
        m_link.run(m_server, [&](ServerLink &link) {
            published = Announcements::publish(link, m_request, Deadline);
        });
    } catch (const std::exception &failure) {
        error = QString::fromUtf8(failure.what());
    }
    emit finished(published, error);
}
