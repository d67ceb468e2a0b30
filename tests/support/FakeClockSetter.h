#pragma once

#include "platform/ClockSetter.h"

#include <QList>

// Answers with outcome, at once or, with answerLater, when the test calls
// answer().
class FakeClockSetter final : public ClockSetter
{
public:
    void setLocalTime(const QDateTime &value, Done done) override
    {
        requests.append(value);
        if (answerLater)
            m_waiting.append(std::move(done));
        else
            done(outcome);
    }

    // Answers the oldest request still waiting.
    void answer() { m_waiting.takeFirst()(outcome); }

    QList<QDateTime> requests;
    Outcome outcome{true, {}};
    bool answerLater = false;

private:
    QList<Done> m_waiting;
};
