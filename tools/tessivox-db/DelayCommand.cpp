#include "DelayCommand.h"

#include "Arguments.h"
#include "data/ServerAddress.h"
#include "schedule/ExamDelay.h"

int DelayCommand::run(const Arguments &arguments)
{
    const QString uri = arguments.positional().at(0);
    const QString subject = arguments.positional().at(1);
    bool number = false;
    const int minutes = arguments.positional().at(2).toInt(&number);
    if (!ServerAddress::isServer(uri))
        return fail(
            QStringLiteral("%1: delay needs the centre's server (postgresql://...)").arg(uri), 2);
    if (!number || minutes == 0 || qAbs(minutes) > ExamDelay::MostMinutes)
        return fail(QStringLiteral("MINUTES must be a whole number from -%1 to %1, not 0: %2")
                        .arg(ExamDelay::MostMinutes)
                        .arg(arguments.positional().at(2)),
                    2);
    const ExamDelay::Result result = ExamDelay::apply(uri, subject, minutes);
    if (!result.found)
        return fail(QStringLiteral("%1 has no subject %2").arg(ServerAddress::shown(uri), subject),
                    1);
    if (!result.refusal.isEmpty())
        return fail(result.refusal, 2);
    m_out << result.text(subject, minutes, ServerAddress::shown(uri));
    return 0;
}

int DelayCommand::fail(const QString &text, int code)
{
    m_err << "tessivox-db: " << text << "\n";
    return code;
}
