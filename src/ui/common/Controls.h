#pragma once

#include <QDateTime>
#include <QString>

class QDateEdit;
class QFrame;
class QLabel;
class QPushButton;
class QTimeEdit;
class QWidget;
class RegionalFormats;

// The fixed-position controls the windows are laid out from.
namespace Controls {

QLabel *label(QWidget *parent, const QString &text, int x, int y, int width);
QPushButton *button(QWidget *parent, const QString &caption, int x, int y, int width = 75);
QFrame *rule(QWidget *parent, int x, int y, int width);
// A date picker in the user's short date format, with a drop-down calendar.
QDateEdit *datePicker(QWidget *parent, const RegionalFormats &formats, int x, int y, int width);
// A time-of-day picker in the user's long time format.
QTimeEdit *timePicker(QWidget *parent, const RegionalFormats &formats, int x, int y, int width);
// The date of one picker with the time of day of another, to the second:
// what a pair of pickers means, whatever formats they show.
QDateTime pickedDateTime(const QDateEdit *date, const QTimeEdit *time);
// Gives an input the name a screen reader reads for it: its own label's
// text without the closing colon, or the text given where no label stands
// beside it alone.
void name(QWidget *input, QLabel *label);
void name(QWidget *input, const QString &text);

} // namespace Controls
