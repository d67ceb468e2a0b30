#pragma once

#include <QHash>
#include <QObject>
#include <QTime>

class Clock;
class QLabel;
class QTreeWidget;
class QTreeWidgetItem;
class Scheduler;

// What the invigilator reads of the run's progress: in the play list, which
// instructions played, failed or were skipped and which comes next; beside
// it, the time left until the next one.
class PlayProgress final : public QObject
{
public:
    // The list's last column holds each row's state.
    PlayProgress(QTreeWidget *list, QLabel *countdown, const Clock &clock, Scheduler &scheduler,
                 QObject *parent);

    // The next instruction and the time left, as of the clock now.
    void refresh();
    // The list was filled anew: its rows get back the states they had.
    void refill();

private:
    void mark(const QTime &second, const QString &state);
    QTreeWidgetItem *nextRow() const;

    QTreeWidget *m_list;
    QLabel *m_countdown;
    const Clock &m_clock;
    // By the row's identity, which a refill keeps.
    QHash<qint64, QString> m_states;
};
