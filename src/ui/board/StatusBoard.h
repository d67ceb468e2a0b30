#pragma once

#include "office/RoomStatus.h"

#include <QWidget>
#include <memory>

class DelayForm;
class QLabel;
class QTableWidget;
class QTimer;
class ServerConnection;

// The exam office's board: every room of the centre's server, one row each,
// coloured by how it is doing and refreshed every few seconds; a click on a
// room lists the events of its current or last run. It writes only when
// the office puts an exam back.
class StatusBoard final : public QWidget
{
    Q_OBJECT

public:
    StatusBoard(const QString &server, int clockLimitMs, QWidget *parent = nullptr);
    ~StatusBoard() override;

    static constexpr int RefreshMs = 5000;

    // Reads the server again; the timer calls it.
    void refresh();

    QLabel *heading;
    QTableWidget *rooms;
    QLabel *eventsHeading;
    QTableWidget *events;
    // Putting an exam back, for the office's login.
    DelayForm *delayForm;

private:
    void showRoom(int row);

    QString m_server;
    int m_clockLimitMs;
    std::unique_ptr<ServerConnection> m_connection;
    QList<RoomStatus> m_shown;
    QString m_chosen;
    QTimer *m_timer;
};
