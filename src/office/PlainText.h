#pragma once

#include <QString>

// Text that came from a room (its name, subject, version, a server's reason)
// as the office shows it: a room may write anything, and what it writes must
// not pass for the office's own lines or drive a terminal.
namespace PlainText {

// Control characters, line and paragraph separators and the marks that turn
// the writing direction, each as a visible escape (\n, \x1b, \u202e).
QString visible(const QString &text);

} // namespace PlainText
