#pragma once

#include <QString>
#include <functional>
#include <memory>

// Keeps the PC from sleeping and its screen from blanking while an exam
// runs. The platform may refuse; the run goes on all the same, and the hold
// says why, so that the refusal can be recorded. Where the platform answers
// later, nobody waits for it: the hold then learns of a refusal as it comes.
class SleepInhibitor
{
public:
    // The PC is kept awake from the making of a hold until its destruction.
    class Hold final
    {
    public:
        Hold(QString refusal, std::function<void()> release)
            : Hold(std::make_shared<QString>(std::move(refusal)), std::move(release))
        {}
        // refusal is filled in by whoever hears the platform's answers.
        Hold(std::shared_ptr<const QString> refusal, std::function<void()> release)
            : m_refusal(std::move(refusal)), m_release(std::move(release))
        {}
        ~Hold()
        {
            if (m_release)
                m_release();
        }
        Q_DISABLE_COPY_MOVE(Hold)

        // Why the platform refused, in whole or in part; empty when it agreed
        // or has not answered yet.
        const QString &refusal() const { return *m_refusal; }

    private:
        std::shared_ptr<const QString> m_refusal;
        std::function<void()> m_release;
    };

    SleepInhibitor() = default;
    virtual ~SleepInhibitor() = default;
    Q_DISABLE_COPY_MOVE(SleepInhibitor)

    // why is shown by the desktop to a user who wonders what keeps it awake.
    virtual std::unique_ptr<Hold> keepAwake(const QString &why) = 0;
};
