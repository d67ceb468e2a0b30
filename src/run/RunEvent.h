#pragma once

#include <QDateTime>
#include <QString>
#include <QTime>
#include <optional>

// One event of a run as the run log records it, field by field, for whoever
// follows the log from outside (the report to the exam office).
struct RunEvent
{
    QDateTime at{};
    // The run log's own word: "run started", "clock", "played", "missed",
    // "failed", "clock step", "sound output lost", "sound output back",
    // "schedule changed", "run ended", "announcement played",
    // "announcement failed", "announcement missed", "cut off"; and, outside
    // the log, "sound files failed" (why the recordings do not arrive).
    QString kind{};
    // Only on "run started": followers remember it for the rest of the run.
    QString subject{};
    // The instruction's time of day; invalid where the event has none.
    QTime second{};
    std::optional<qint64> delayMs{};
    QString file{};
    QString reason{};
    // The office's announcement the event tells of.
    std::optional<qint64> announcement{};
};
