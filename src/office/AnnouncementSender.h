#pragma once

#include "data/CancellableLink.h"
#include "office/Announcements.h"

#include <QObject>
#include <functional>
#include <memory>

// Publishes one announcement off the windows' thread, on a link of its own,
// each job under Deadline: storing its recording may take a while, and a
// server may stop answering. Nothing waits for the thread, which holds the
// object until it is done; cancel() ends it at once but for the reading of
// the file.
class AnnouncementSender final : public QObject
{
    Q_OBJECT

public:
    using Done = std::function<void(const Announcements::Published &, const QString &error)>;
    static constexpr std::chrono::milliseconds Deadline{60'000};

    ~AnnouncementSender() override = default;
    Q_DISABLE_COPY_MOVE(AnnouncementSender)

    // done runs on receiver's thread, once, unless receiver is gone by
    // then: with an empty error when the announcement is stored.
    static std::shared_ptr<AnnouncementSender>
    start(QString serverUri, Announcements::Request request, QObject *receiver, Done done);
    void cancel();

signals:
    void finished(const Announcements::Published &published, const QString &error);

private:
    AnnouncementSender(QString serverUri, Announcements::Request request);
    void work();

    const QString m_server;
    const Announcements::Request m_request;
    CancellableLink m_link;
};
