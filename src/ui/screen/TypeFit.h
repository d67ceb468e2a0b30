#pragma once

#include <QFont>
#include <QRect>
#include <QString>
#include <QStringList>

// Finding the type size at which a text fills a space.
namespace TypeFit {

// The largest pixel size, up to largest, at which text laid out with these
// Qt::AlignmentFlag and Qt::TextFlag flags fits into space; smallest when
// none does.
int pixelSize(QFont face, const QRect &space, int flags, const QString &text, int largest,
              int smallest = 8);

// The lines to draw, one under the other, of a text that does not fit into
// space in this face as it is: wrapped between any two characters where
// wrap is on, and as many lines as fit, the last ending in "…" where the
// text goes on. Empty when the text fits as it is.
QStringList elidedLines(const QFont &face, const QRect &space, bool wrap, const QString &text);

// The text with every digit an 8. Digits are as wide as each other in the
// faces this runs on, but not in every face: measuring the widest keeps a
// ticking text inside its space and at one size.
QString alikeDigits(QString text);

} // namespace TypeFit
