#include "ui/board/AnnounceForm.h"

#include "data/ServerAddress.h"
#include "office/AnnouncementSender.h"
#include "office/Announcements.h"
#include "ui/common/ClockFields.h"
#include "ui/common/TimeTyping.h"

#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTime>
#include <QTimeEdit>

namespace {

const QString Time = QStringLiteral("HH:mm:ss");

} // namespace

AnnounceForm::AnnounceForm(const QString &server, QWidget *parent)
    : QWidget(parent), file(new QLineEdit(this)),
      choose(new QPushButton(QStringLiteral("选择…"), this)), second(new QTimeEdit(this)),
      rooms(new QLineEdit(this)), text(new QLineEdit(this)),
      publish(new QPushButton(QStringLiteral("发布通知"), this)), result(new QPlainTextEdit(this)),
      m_server(server), m_follow(new ClockFields({second}, this))
{
    file->setPlaceholderText(QStringLiteral("声音文件（WAV）"));
    second->setDisplayFormat(Time);
    TimeTyping::install(second);
    // Time enough to fill in the rest; the server asks for some ahead.
    m_follow->restart(QDateTime::currentDateTime().addSecs(60));
    rooms->setPlaceholderText(QStringLiteral("考场，以逗号分隔；不填为全部考场"));
    text->setPlaceholderText(QStringLiteral("通知内容"));
    result->setReadOnly(true);
    result->setMaximumHeight(90);
    // A placeholder is no name a screen reader reads.
    file->setAccessibleName(QStringLiteral("通知的声音文件"));
    second->setAccessibleName(QStringLiteral("通知的播放时间"));
    rooms->setAccessibleName(QStringLiteral("通知的考场"));
    text->setAccessibleName(QStringLiteral("通知内容"));
    result->setAccessibleName(QStringLiteral("发布结果"));
    auto *layout = new QGridLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("声音文件："), this), 0, 0);
    layout->addWidget(file, 0, 1, 1, 3);
    layout->addWidget(choose, 0, 4);
    layout->addWidget(second, 1, 0);
    layout->addWidget(rooms, 1, 1);
    layout->addWidget(text, 1, 2, 1, 2);
    layout->addWidget(publish, 1, 4);
    layout->addWidget(result, 2, 0, 1, 5);
    layout->setColumnStretch(1, 2);
    layout->setColumnStretch(2, 3);
    connect(choose, &QPushButton::clicked, this, &AnnounceForm::chooseClick);
    connect(publish, &QPushButton::clicked, this, &AnnounceForm::publishClick);
}

AnnounceForm::~AnnounceForm()
{
    if (m_sender)
        m_sender->cancel();
}

void AnnounceForm::keepAhead()
{
    const QTime now = QTime::currentTime();
    if (now.secsTo(second->time()) < 2 * Announcements::LeadS && now < QTime(23, 59))
        m_follow->follow(QDateTime::currentDateTime().addSecs(60));
}

void AnnounceForm::chooseClick()
{
    const QString chosen =
        QFileDialog::getOpenFileName(this, QStringLiteral("选择通知的声音文件"), file->text(),
                                     QStringLiteral("WAV 声音文件 (*.wav *.WAV);;所有文件 (*)"));
    if (!chosen.isEmpty())
        file->setText(chosen);
}

void AnnounceForm::publishClick()
{
    if (m_sender)
        return;
    if (file->text().trimmed().isEmpty()) {
        result->setPlainText(QStringLiteral("请选择通知的声音文件"));
        return;
    }
    // The comma as a Chinese keyboard types it separates rooms too.
    const QString names = rooms->text().trimmed();
    const Announcements::Request request{
        file->text().trimmed(), second->time(),
        names.isEmpty() ? QStringList() : names.split(QRegularExpression(QStringLiteral("[,，]"))),
        text->text()};
    publish->setEnabled(false);
    result->setPlainText(QStringLiteral("正在发布……"));
    m_sender = AnnouncementSender::start(
        m_server, request, this,
        [this, request](const Announcements::Published &published, const QString &error) {
            finished(request, published, error);
        });
}

void AnnounceForm::finished(const Announcements::Request &request,
                            const Announcements::Published &published, const QString &error)
{
    m_sender.reset();
    publish->setEnabled(true);
    if (!error.isEmpty()) {
        result->setPlainText(QStringLiteral("未能发布：") + error);
        return;
    }
    QStringList named;
    for (const QString &room : request.rooms)
        if (!room.trimmed().isEmpty())
            named << room.trimmed();
    QString shown =
        QStringLiteral("已发布通知 #%1：%2 %3（%4）\n考场：%5\n录音：%6（%7）")
            .arg(published.id)
            .arg(published.day.toString(Qt::ISODate), request.second.toString(Time),
                 ServerAddress::shown(m_server),
                 named.isEmpty() ? QStringLiteral("全部") : named.join(QStringLiteral("，")),
                 published.file,
                 published.sent ? QStringLiteral("已上传") : QStringLiteral("服务器上已有"));
    if (!request.text.isEmpty())
        shown += QStringLiteral("\n内容：") + request.text;
    result->setPlainText(shown);
    emit announced();
}
