#pragma once

#include <QString>

// What the run tells the invigilator of an instruction that did not play, and
// what the editor tells the administrator of a file that will not.
namespace PlayFailure {

inline const QString Sentence = QStringLiteral("声音控制器不正确，程序可能无法正常运行 !");

// Why the file at path cannot be played, in Chinese; empty when it can.
QString fileProblem(const QString &path);
// The sentence, then the file and the reason on lines of their own.
QString text(const QString &file, const QString &reason);

} // namespace PlayFailure
