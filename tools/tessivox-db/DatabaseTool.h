#pragma once

#include <QStringList>
#include <QTextStream>

class ClockHealth;

// The commands of tessivox-db. run() returns the process exit code: 0 done,
// 1 refused or failed (the reason on the error stream), 2 bad arguments;
// check and rehearse have their own meanings for 1 and 2.
class DatabaseTool final
{
public:
    // clockHealth: what check asks about the computer's clock; without it
    // check says nothing about the clock.
    DatabaseTool(QTextStream &out, QTextStream &err, const ClockHealth *clockHealth = nullptr)
        : m_out(out), m_err(err), m_clockHealth(clockHealth)
    {}
    Q_DISABLE_COPY_MOVE(DatabaseTool)

    // The arguments after the program name.
    int run(const QStringList &arguments);

private:
    int create(const QString &path);
    int demo(const QString &path, const QString &soundDir);
    // The usage text, then the reason it is shown, if any.
    int usage(const QString &error = {});
    int fail(const QString &text);

    QTextStream &m_out;
    QTextStream &m_err;
    const ClockHealth *m_clockHealth;
};
