#pragma once

#include <QString>

class Arguments;
class QTextStream;

// What the commands that look at a run's schedule share.
namespace CommandInput {

// The folder the run plays from ("sound" beside the program, which lies
// beside this tool), unless --sound-dir names another.
QString soundFolder(const Arguments &arguments);
// Writes the one-line reason and returns the exit code for input that cannot
// be read: 2.
int refuse(QTextStream &err, const QString &reason);

} // namespace CommandInput
