#pragma once

#include "office/Announcements.h"
#include "office/RoomStatus.h"

#include <QWidget>
#include <chrono>
#include <memory>

class AnnounceForm;
class DelayForm;
class QLabel;
class QTableWidget;
class QTimer;
class ServerLink;

// The exam office's board: every room of the centre's server, one row each,
// coloured by how it is doing and refreshed every few seconds; a click on a
// room lists the events of its current or last run. Below, today's
// announcements, the latest first, each with what became of it; a click on
// one lists the rooms' outcomes. It reads on its server link's thread, so a
// server that hangs leaves the window answering; it writes only when the
// office puts an exam back or publishes an announcement, each on a link of
// its own.
class StatusBoard final : public QWidget
{
    Q_OBJECT

public:
    StatusBoard(const QString &server, int clockLimitMs, QWidget *parent = nullptr);
    ~StatusBoard() override;

    static constexpr int RefreshMs = 5000;
    static constexpr std::chrono::milliseconds ReadDeadline{5000};

    // Starts reading the server again, unless a read is under way; the
    // timer calls it.
    void refresh();

    QLabel *heading;
    QTableWidget *rooms;
    QLabel *eventsHeading;
    QTableWidget *events;
    QTableWidget *announcements;
    QLabel *outcomesHeading;
    QTableWidget *outcomes;
    // Putting an exam back and speaking to the rooms, for the office's
    // login.
    DelayForm *delayForm;
    AnnounceForm *announceForm;

private:
    void showRooms(const QList<RoomStatus> &rooms, const QDateTime &now);
    void showRoom(int row);
    void showEvents(const RoomStatus &room, const QList<QStringList> &rows);
    void showAnnouncements(const QList<Announcements::Report> &reports);
    void showOutcomes(int row);

    QString m_server;
    int m_clockLimitMs;
    std::unique_ptr<ServerLink> m_link;
    bool m_reading = false;
    QList<RoomStatus> m_shown;
    QString m_chosen;
    QList<Announcements::Report> m_reports;
    qint64 m_chosenAnnouncement = 0;
    QTimer *m_timer;
};
