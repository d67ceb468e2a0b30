#include "ui/board/StatusBoard.h"

#include "data/ServerLink.h"
#include "data/Session.h"
#include "office/OfficeSchema.h"
#include "office/PlainText.h"
#include "ui/board/AnnounceForm.h"
#include "ui/board/DelayForm.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHash>
#include <QHeaderView>
#include <QLabel>
#include <QScreen>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <QUrl>
#include <QUrlQuery>
#include <QVBoxLayout>

namespace {

QColor rowColour(const RoomStatus &room)
{
    if (room.problems & RoomStatus::Unseen)
        return QColor(0xd9, 0xd9, 0xd9);
    if (!room.isWell())
        return QColor(0xf8, 0xc8, 0xc0);
    return room.running ? QColor(0xc8, 0xec, 0xc8) : QColor(0xff, 0xff, 0xff);
}

QString stateText(const RoomStatus &room)
{
    if (room.problems & RoomStatus::Unseen)
        return room.unseenMs ? QStringLiteral("%1 分钟未联系").arg(*room.unseenMs / 60000)
                             : QStringLiteral("从未联系");
    if (room.running)
        return QStringLiteral("运行 ") + room.subject;
    return room.runSubject.isEmpty() ? QStringLiteral("空闲")
                                     : QStringLiteral("空闲（上一场 %1）").arg(room.runSubject);
}

QString problemText(const RoomStatus &room)
{
    return room.problemText({QStringLiteral("失去联系"), QStringLiteral("部分事件被拒绝：%1"),
                             QStringLiteral("时钟偏差过大"), QStringLiteral("错过 %1 条"),
                             QStringLiteral("失败 %1 条"), QStringLiteral("，"),
                             QStringLiteral("声音文件未就绪 %1/%2"),
                             QStringLiteral("另一台电脑（%1）也用此考场名称")});
}

// The server as a person names it: the database, then where it lies.
QString serverName(const QString &uri)
{
    const QUrl url(uri);
    const QUrlQuery query(url);
    const QString database = query.hasQueryItem(QStringLiteral("dbname"))
                                 ? query.queryItemValue(QStringLiteral("dbname"))
                                 : url.path().mid(1);
    QString host = query.hasQueryItem(QStringLiteral("host"))
                       ? query.queryItemValue(QStringLiteral("host"), QUrl::FullyDecoded)
                       : url.host();
    if (host.isEmpty())
        host = QStringLiteral("localhost");
    return database.isEmpty() ? host : database + QStringLiteral(" @ ") + host;
}

QString milliseconds(const std::optional<qint64> &ms)
{
    return ms ? QStringLiteral("%1%2 ms").arg(*ms < 0 ? "" : "+").arg(*ms) : QStringLiteral("-");
}

// The run log's words, as the office reads them.
QString kindText(const QString &kind)
{
    static const QHash<QString, QString> words{
        {QStringLiteral("run started"), QStringLiteral("开始运行")},
        {QStringLiteral("played"), QStringLiteral("已播放")},
        {QStringLiteral("missed"), QStringLiteral("错过")},
        {QStringLiteral("failed"), QStringLiteral("播放失败")},
        {QStringLiteral("clock"), QStringLiteral("计算机时钟")},
        {QStringLiteral("clock step"), QStringLiteral("时钟跳变")},
        {QStringLiteral("sound output lost"), QStringLiteral("声音输出中断")},
        {QStringLiteral("sound output back"), QStringLiteral("声音输出恢复")},
        {QStringLiteral("schedule changed"), QStringLiteral("考试安排变更")},
        {QStringLiteral("run ended"), QStringLiteral("运行结束")},
        {QStringLiteral("announcement played"), QStringLiteral("通知已播放")},
        {QStringLiteral("announcement failed"), QStringLiteral("通知播放失败")},
        {QStringLiteral("announcement missed"), QStringLiteral("错过通知")},
        {QStringLiteral("cut off"), QStringLiteral("被通知打断")},
        {QStringLiteral("sound files failed"), QStringLiteral("声音文件接收失败")}};
    return words.value(kind, kind);
}

// A room's reading of its clock, as its run log words it.
QString clockText(const QString &reading)
{
    static const QHash<QString, QString> words{
        {QStringLiteral("synchronised"), QStringLiteral("已与时间服务器同步")},
        {QStringLiteral("not synchronised (automatic synchronisation is on)"),
         QStringLiteral("未同步（自动同步已开启）")},
        {QStringLiteral("not synchronised (automatic synchronisation is off)"),
         QStringLiteral("未同步（自动同步已关闭）")},
        {QStringLiteral("unknown"), QStringLiteral("无法判断")}};
    if (const auto word = words.constFind(reading); word != words.cend())
        return *word;
    static const QString Unknown = QStringLiteral("unknown: ");
    return reading.startsWith(Unknown) ? QStringLiteral("无法判断：") + reading.mid(Unknown.size())
                                       : reading;
}

QString outcomeText(const QString &what)
{
    static const QHash<QString, QString> words{
        {QStringLiteral("played"), QStringLiteral("已播放")},
        {QStringLiteral("failed"), QStringLiteral("播放失败")},
        {QStringLiteral("missed"), QStringLiteral("错过")}};
    return words.value(what, what.isEmpty() ? QStringLiteral("未回报") : what);
}

QString roomsText(const QStringList &rooms)
{
    return rooms.isEmpty() ? QStringLiteral("全部") : rooms.join(QStringLiteral("，"));
}

const QString PickAnnouncement = QStringLiteral("点击通知查看各考场结果");

// What one read of the server brings.
struct Read
{
    QList<RoomStatus> rooms;
    QList<Announcements::Report> announcements;
};

QTableWidget *table(QWidget *parent, const QStringList &header)
{
    auto *widget = new QTableWidget(0, int(header.size()), parent);
    widget->setHorizontalHeaderLabels(header);
    widget->setEditTriggers(QAbstractItemView::NoEditTriggers);
    widget->setSelectionBehavior(QAbstractItemView::SelectRows);
    widget->setSelectionMode(QAbstractItemView::SingleSelection);
    widget->verticalHeader()->hide();
    widget->horizontalHeader()->setStretchLastSection(true);
    return widget;
}

// Each column as wide as its cells, the last one taking the rest.
void fit(QTableWidget *widget)
{
    for (int column = 0; column + 1 < widget->columnCount(); ++column)
        widget->resizeColumnToContents(column);
}

void fillRow(QTableWidget *widget, int row, const QStringList &cells, const QColor &colour = {})
{
    for (int column = 0; column < cells.size(); ++column) {
        auto *item = new QTableWidgetItem(PlainText::visible(cells[column]));
        if (colour.isValid())
            item->setBackground(colour);
        widget->setItem(row, column, item);
    }
}

} // namespace

StatusBoard::StatusBoard(const QString &server, int clockLimitMs, QWidget *parent)
    : QWidget(parent), heading(new QLabel(this)),
      rooms(table(this, {QStringLiteral("考场"), QStringLiteral("状态"), QStringLiteral("最后联系"),
                         QStringLiteral("时钟偏差"), QStringLiteral("已播放"),
                         QStringLiteral("错过"), QStringLiteral("失败"), QStringLiteral("最大延迟"),
                         QStringLiteral("下一条"), QStringLiteral("问题")})),
      eventsHeading(new QLabel(QStringLiteral("点击考场查看本场记录"), this)),
      events(table(this,
                   {QStringLiteral("时间"), QStringLiteral("事件"), QStringLiteral("指令时间"),
                    QStringLiteral("延迟 (ms)"), QStringLiteral("文件"), QStringLiteral("原因")})),
      announcements(table(this, {QStringLiteral("时间"), QStringLiteral("考场"),
                                 QStringLiteral("结果"), QStringLiteral("内容")})),
      outcomesHeading(new QLabel(PickAnnouncement, this)),
      outcomes(table(this, {QStringLiteral("考场"), QStringLiteral("结果"), QStringLiteral("延迟"),
                            QStringLiteral("原因")})),
      delayForm(new DelayForm(server, this)), announceForm(new AnnounceForm(server, this)),
      m_server(server), m_clockLimitMs(clockLimitMs),
      m_link(std::make_unique<ServerLink>(server, true)), m_timer(new QTimer(this))
{
    setWindowTitle(QStringLiteral("Tessivox 考场状态"));
    // The tables take what room there is; the window never outgrows the
    // screen it opens on.
    QSize size(1100, 820);
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        size = size.boundedTo(screen->availableGeometry().size() * 0.9);
    resize(size);
    auto *said = new QVBoxLayout;
    said->addWidget(new QLabel(QStringLiteral("今天的通知"), this));
    said->addWidget(announcements);
    auto *heard = new QVBoxLayout;
    heard->addWidget(outcomesHeading);
    heard->addWidget(outcomes);
    auto *spoken = new QHBoxLayout;
    spoken->addLayout(said, 2);
    spoken->addLayout(heard, 1);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(heading);
    layout->addWidget(rooms, 3);
    layout->addWidget(eventsHeading);
    layout->addWidget(events, 2);
    layout->addLayout(spoken, 2);
    // One form at a time: the tables keep the room.
    auto *forms = new QTabWidget(this);
    forms->addTab(announceForm, QStringLiteral("发布通知"));
    forms->addTab(delayForm, QStringLiteral("推迟考试"));
    layout->addWidget(forms);
    rooms->setAccessibleName(QStringLiteral("考场"));
    events->setAccessibleName(QStringLiteral("本场记录"));
    announcements->setAccessibleName(QStringLiteral("今天的通知"));
    outcomes->setAccessibleName(QStringLiteral("各考场结果"));
    heading->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // A room's subject or a server's text is never markup.
    heading->setTextFormat(Qt::PlainText);
    eventsHeading->setTextFormat(Qt::PlainText);
    outcomesHeading->setTextFormat(Qt::PlainText);
    connect(rooms, &QTableWidget::cellClicked, this, [this](int row) { showRoom(row); });
    connect(announcements, &QTableWidget::cellClicked, this,
            [this](int row) { showOutcomes(row); });
    fit(announcements);
    fit(outcomes);
    connect(announceForm, &AnnounceForm::announced, this, &StatusBoard::refresh);
    connect(m_timer, &QTimer::timeout, this, &StatusBoard::refresh);
    connect(m_timer, &QTimer::timeout, announceForm, &AnnounceForm::keepAhead);
    m_timer->start(RefreshMs);
    refresh();
}

StatusBoard::~StatusBoard() = default;

void StatusBoard::refresh()
{
    // One read at a time: a server that hangs is not handed a pile of them.
    if (m_reading)
        return;
    m_reading = true;
    const QDateTime now = QDateTime::currentDateTime();
    auto read = std::make_shared<Read>();
    m_link->post(
        [read, now, limit = m_clockLimitMs](Session &session) {
            OfficeSchema::requireTables(session.db());
            read->rooms = RoomStatus::readAll(session.db(), limit, now);
            read->announcements = Announcements::today(session.db());
        },
        ReadDeadline, this,
        [this, read, now](std::exception_ptr failure) {
            m_reading = false;
            try {
                if (failure)
                    std::rethrow_exception(failure);
            } catch (const std::exception &error) {
                heading->setText(QStringLiteral("%1  无法读取服务器，%2 秒后重试\n%3")
                                     .arg(now.toString(QStringLiteral("HH:mm:ss")))
                                     .arg(RefreshMs / 1000)
                                     .arg(QString::fromStdString(error.what())));
                return;
            }
            showRooms(read->rooms, now);
            showAnnouncements(read->announcements);
        });
}

void StatusBoard::showRooms(const QList<RoomStatus> &read, const QDateTime &now)
{
    m_shown = read;
    const QString where = serverName(m_server);
    const auto unwell = std::count_if(m_shown.cbegin(), m_shown.cend(),
                                      [](const RoomStatus &r) { return !r.isWell(); });
    heading->setText(QStringLiteral("%1  %2  共 %3 个考场，%4 个有问题")
                         .arg(now.toString(QStringLiteral("HH:mm:ss")), where)
                         .arg(m_shown.size())
                         .arg(unwell));
    rooms->setRowCount(int(m_shown.size()));
    // The highlight follows the room, not its place, which may have changed.
    rooms->clearSelection();
    for (int row = 0; row < m_shown.size(); ++row) {
        const RoomStatus &room = m_shown[row];
        fillRow(rooms, row,
                {room.name, stateText(room),
                 room.lastSeen.isValid() ? room.lastSeen.toString(QStringLiteral("HH:mm:ss"))
                                         : QStringLiteral("-"),
                 milliseconds(room.clockOffsetMs), QString::number(room.played),
                 QString::number(room.missed), QString::number(room.failed),
                 milliseconds(room.worstDelayMs),
                 room.nextDue.isValid() ? room.nextDue.toString(QStringLiteral("HH:mm:ss"))
                                        : QStringLiteral("-"),
                 problemText(room)},
                rowColour(room));
        if (room.name == m_chosen) {
            rooms->selectRow(row);
            showRoom(row);
        }
    }
    fit(rooms);
}

void StatusBoard::showRoom(int row)
{
    if (row < 0 || row >= m_shown.size())
        return;
    const RoomStatus room = m_shown[row];
    m_chosen = room.name;
    auto read = std::make_shared<QList<QStringList>>();
    m_link->post(
        [read, room](Session &session) {
            *read = RoomStatus::runEvents(session.db(), room.name, room.runId);
        },
        ReadDeadline, this,
        [this, read, room](std::exception_ptr failure) {
            try {
                if (failure)
                    std::rethrow_exception(failure);
            } catch (const std::exception &error) {
                eventsHeading->setText(QStringLiteral("无法读取本场记录：") +
                                       QString::fromStdString(error.what()));
                return;
            }
            showEvents(room, *read);
        });
}

void StatusBoard::showEvents(const RoomStatus &room, const QList<QStringList> &read)
{
    QList<QStringList> rows = read;
    eventsHeading->setText(
        room.runId.isEmpty()
            ? QStringLiteral("%1：尚无运行记录").arg(PlainText::visible(room.name))
            : QStringLiteral("%1 本场记录（%2）")
                  .arg(PlainText::visible(room.name),
                       PlainText::visible(room.runSubject.isEmpty() ? room.runId
                                                                    : room.runSubject)));
    events->setRowCount(int(rows.size()));
    for (int i = 0; i < rows.size(); ++i) {
        if (rows[i][1] == QLatin1String("clock") && rows[i].size() > 5)
            rows[i][5] = clockText(rows[i][5]);
        rows[i][1] = kindText(rows[i][1]);
        // The run log names a file the server keeps in its own words.
        if (rows[i].size() > 4)
            rows[i][4].replace(QStringLiteral(" (from the server)"),
                               QStringLiteral("（服务器上的录音）"));
        fillRow(events, i, rows[i]);
    }
    fit(events);
}

void StatusBoard::showAnnouncements(const QList<Announcements::Report> &reports)
{
    m_reports = reports;
    announcements->setRowCount(int(m_reports.size()));
    announcements->clearSelection();
    bool chosen = false;
    for (int row = 0; row < m_reports.size(); ++row) {
        const Announcements::Report &report = m_reports[row];
        fillRow(announcements, row,
                {report.second.toString(QStringLiteral("HH:mm:ss")), roomsText(report.rooms),
                 report.summary(), report.text});
        if (report.id == m_chosenAnnouncement) {
            chosen = true;
            announcements->selectRow(row);
            showOutcomes(row);
        }
    }
    fit(announcements);
    // Gone, or yesterday's.
    if (!chosen) {
        m_chosenAnnouncement = 0;
        outcomesHeading->setText(PickAnnouncement);
        outcomes->setRowCount(0);
    }
}

void StatusBoard::showOutcomes(int row)
{
    if (row < 0 || row >= m_reports.size())
        return;
    const Announcements::Report &report = m_reports[row];
    m_chosenAnnouncement = report.id;
    outcomesHeading->setText(QStringLiteral("%1 的通知（%2）各考场结果")
                                 .arg(report.second.toString(QStringLiteral("HH:mm:ss")),
                                      PlainText::visible(report.file)));
    outcomes->setRowCount(int(report.outcomes.size()));
    for (int i = 0; i < report.outcomes.size(); ++i) {
        const Announcements::Outcome &outcome = report.outcomes[i];
        fillRow(outcomes, i,
                {outcome.room, outcomeText(outcome.what), milliseconds(outcome.delayMs),
                 outcome.failure()});
    }
    fit(outcomes);
}
