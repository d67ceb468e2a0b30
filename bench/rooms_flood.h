#pragma once

#include <QStringList>
#include <QtGlobal>
#include <chrono>

// What the processes of bench/rooms-flood share: the coordinator starts one
// process of rooms per group and reads back what each process's rooms saw.
namespace RoomsFlood {

// The exam's name on the server.
inline const QString Exam = QStringLiteral("flood");
// The first argument that makes the program a process of rooms:
//   --rooms URI ROOMS END_MS
// It prints "ready" once its rooms run, then at END_MS (milliseconds since
// the epoch) one line a figure: "delay US" for each instruction let go,
// "missed N", "readings BEGUN SUBJECT_READS", and "seen US" for each room,
// the wall-clock microsecond it had the real change, -1 for never.
inline const QString RoomsArgument = QStringLiteral("--rooms");

inline qint64 wallMicroseconds()
{
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

int runRooms(const QStringList &args);

} // namespace RoomsFlood
