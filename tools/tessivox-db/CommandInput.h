#pragma once

#include <QString>
#include <chrono>
#include <exception>

class Arguments;
class QTextStream;

// What the commands that look at a run's schedule share.
namespace CommandInput {

// How long a command waits for the server before it gives up on it.
constexpr std::chrono::milliseconds ServerDeadline{5000};

// The folder the run plays from ("sound" beside the program, which lies
// beside this tool), unless --sound-dir names another.
QString soundFolder(const Arguments &arguments);
// Writes the one-line reason and returns the exit code for input that cannot
// be read: 2.
// Why the tool cannot use a database location; empty when it can.
QString unusableLocation(const QString &location);
// A failure's text for the tool's error stream: a database's own text, in
// the tool's language.
QString reason(const std::exception &failure);

int refuse(QTextStream &err, const QString &reason);

} // namespace CommandInput
