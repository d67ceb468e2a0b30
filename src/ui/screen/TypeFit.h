#pragma once

#include <QFont>
#include <QRect>
#include <QString>

// Finding the type size at which a text fills a space.
namespace TypeFit {

// The largest pixel size, up to largest, at which text laid out with these
// Qt::AlignmentFlag and Qt::TextFlag flags fits into space.
int pixelSize(QFont face, const QRect &space, int flags, const QString &text, int largest);

// The text with every digit an 8. Digits are as wide as each other in the
// faces this runs on, but not in every face: measuring the widest keeps a
// ticking text inside its space and at one size.
QString alikeDigits(QString text);

} // namespace TypeFit
