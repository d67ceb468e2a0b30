#pragma once

#include <QWidget>
#include <memory>

class AnnouncementSender;
class ClockFields;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTimeEdit;
namespace Announcements {
struct Published;
struct Request;
} // namespace Announcements

// The board's way of speaking to the rooms: a WAV file, the second of today
// at which the rooms play it, the rooms (none: all) and a text; "发布通知"
// stores it on the server as `tessivox-db announce` does, off the window's
// thread, as storing the recording may take a while. The server decides who
// may: a room's login is refused, and the refusal is shown.
class AnnounceForm final : public QWidget
{
    Q_OBJECT

public:
    AnnounceForm(const QString &server, QWidget *parent = nullptr);
    // Gives up on a publishing under way, without waiting for it.
    ~AnnounceForm() override;

    void publishClick();
    // A second nobody is editing that comes too close to be announced
    // moves a minute ahead again: a board stays open all day.
    void keepAhead();

    QLineEdit *file;
    QPushButton *choose;
    QTimeEdit *second;
    // Comma separated.
    QLineEdit *rooms;
    QLineEdit *text;
    QPushButton *publish;
    // What was published, or why nothing was.
    QPlainTextEdit *result;

signals:
    // An announcement was stored.
    void announced();

private:
    void chooseClick();
    void finished(const Announcements::Request &request, const Announcements::Published &published,
                  const QString &error);

    QString m_server;
    std::shared_ptr<AnnouncementSender> m_sender;
    ClockFields *m_follow;
};
