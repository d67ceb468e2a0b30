#include "office/ClockOffset.h"

#include "data/DbError.h"
#include "data/Query.h"
#include "platform/Clock.h"

#include <QSqlQuery>
#include <algorithm>

ClockOffset ClockOffset::sample(const QDateTime &sent, const QDateTime &server,
                                const QDateTime &received)
{
    const qint64 roundTrip = sent.msecsTo(received);
    return {server.msecsTo(sent.addMSecs(roundTrip / 2)), roundTrip};
}

ClockOffset ClockOffset::best(const QList<ClockOffset> &samples)
{
    return *std::min_element(
        samples.cbegin(), samples.cend(),
        [](const ClockOffset &a, const ClockOffset &b) { return a.roundTripMs < b.roundTripMs; });
}

ClockOffset ClockOffset::measure(const QSqlDatabase &db, const Clock &clock, int samples)
{
    const Statement ask{QStringLiteral("SELECT clock_timestamp()"), {}};
    QList<ClockOffset> taken;
    for (int i = 0; i < samples; ++i) {
        const QDateTime sent = clock.now();
        QSqlQuery query = Query::run(db, ask);
        const QDateTime received = clock.now();
        if (query.next())
            taken.append(sample(sent, query.value(0).toDateTime(), received));
    }
    if (taken.isEmpty())
        throw DbError(QStringLiteral("clock_timestamp() gave no answer"));
    return best(taken);
}
