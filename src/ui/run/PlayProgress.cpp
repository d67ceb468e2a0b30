#include "ui/run/PlayProgress.h"

#include "platform/Clock.h"
#include "run/Scheduler.h"
#include "ui/common/InstructionList.h"

#include <QLabel>
#include <QTreeWidget>
#include <algorithm>

namespace {

const QString Next = QStringLiteral("下一条");

int stateColumn(const QTreeWidget *list)
{
    return list->columnCount() - 1;
}

// The second of a time of day, as the scheduler plays it.
QTime wholeSecond(const QTime &time)
{
    return QTime(time.hour(), time.minute(), time.second());
}

} // namespace

PlayProgress::PlayProgress(QTreeWidget *list, QLabel *countdown, const Clock &clock,
                           Scheduler &scheduler, QObject *parent)
    : QObject(parent), m_list(list), m_countdown(countdown), m_clock(clock)
{
    connect(&scheduler, &Scheduler::played, this,
            [this](const QTime &second) { mark(second, QStringLiteral("已播放")); });
    connect(&scheduler, &Scheduler::missed, this,
            [this](const QTime &second) { mark(second, QStringLiteral("已跳过")); });
    connect(&scheduler, &Scheduler::failed, this,
            [this](const QTime &second) { mark(second, QStringLiteral("播放失败")); });
}

void PlayProgress::mark(const QTime &second, const QString &state)
{
    // Of rows with the same second, the first not yet passed is the one.
    for (int i = 0; i < m_list->topLevelItemCount(); ++i) {
        QTreeWidgetItem *row = m_list->topLevelItem(i);
        const QString shown = row->text(stateColumn(m_list));
        if (wholeSecond(InstructionList::playtime(row)) != wholeSecond(second) ||
            (!shown.isEmpty() && shown != Next))
            continue;
        row->setText(stateColumn(m_list), state);
        if (const std::optional<qint64> id = InstructionList::identity(row))
            m_states.insert(*id, state);
        break;
    }
    refresh();
}

QTreeWidgetItem *PlayProgress::nextRow() const
{
    const QTime now = m_clock.now().time();
    for (int i = 0; i < m_list->topLevelItemCount(); ++i) {
        QTreeWidgetItem *row = m_list->topLevelItem(i);
        const QString shown = row->text(stateColumn(m_list));
        const QTime time = InstructionList::playtime(row);
        if ((shown.isEmpty() || shown == Next) && time.isValid() && wholeSecond(time) >= now)
            return row;
    }
    return nullptr;
}

void PlayProgress::refresh()
{
    QTreeWidgetItem *next = nextRow();
    for (int i = 0; i < m_list->topLevelItemCount(); ++i) {
        QTreeWidgetItem *row = m_list->topLevelItem(i);
        if (row == next)
            row->setText(stateColumn(m_list), Next);
        else if (row->text(stateColumn(m_list)) == Next)
            row->setText(stateColumn(m_list), QString());
    }
    if (!next) {
        m_countdown->setText(QStringLiteral("没有待播放的指令"));
        return;
    }
    const QTime time = wholeSecond(InstructionList::playtime(next));
    // Whole seconds, rounded up: "00:00:00" only when it plays.
    const int left = std::max(0, (m_clock.now().time().msecsTo(time) + 999) / 1000);
    m_countdown->setText(QStringLiteral("下一条 %1，还有 %2")
                             .arg(time.toString(QStringLiteral("HH:mm:ss")),
                                  QTime(0, 0).addSecs(left).toString(QStringLiteral("HH:mm:ss"))));
}

void PlayProgress::refill()
{
    for (int i = 0; i < m_list->topLevelItemCount(); ++i) {
        QTreeWidgetItem *row = m_list->topLevelItem(i);
        if (const std::optional<qint64> id = InstructionList::identity(row))
            row->setText(stateColumn(m_list), m_states.value(*id));
    }
    refresh();
}
