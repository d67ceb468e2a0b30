#pragma once

#include <QByteArrayList>
#include <QElapsedTimer>
#include <QObject>
#include <memory>

class QTimer;
class ServerLink;

// A channel's notices passed on to the thread that made the gate at most
// once a spacing, however many come. Any login may notify any channel, and
// every room's link hears every notice: one costs the link's thread a lock
// and a comparison, and the caller's thread (the one that plays) nothing
// until a gathering is passed on.
class NoticeGate final : public QObject
{
    Q_OBJECT

public:
    // Notices this close together are passed on as one: a script of many
    // small transactions makes each room read once, not once each.
    static constexpr int GatherMs = 50;
    // However many notices come, they are passed on no more often than this.
    static constexpr int SpacingMs = 250;
    // The distinct payloads a gathering keeps; a flood's others are dropped.
    static constexpr int KeptPayloads = 8;

    NoticeGate(ServerLink &link, const QString &channel, QObject *parent = nullptr);
    ~NoticeGate() override;
    Q_DISABLE_COPY_MOVE(NoticeGate)

signals:
    // The distinct payloads of the notices gathered, first come first.
    void passed(const QByteArrayList &payloads);

private:
    struct Gathering;
    void arm();

    std::shared_ptr<Gathering> m_gathering;
    QTimer *m_timer;
    // Since the last passed().
    QElapsedTimer m_passed;
};
