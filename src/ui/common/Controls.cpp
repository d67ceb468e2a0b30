#include "ui/common/Controls.h"

#include "platform/RegionalFormats.h"
#include "ui/common/TimeTyping.h"

#include <QDateEdit>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QTimeEdit>

namespace Controls {

namespace {

constexpr int RowHeight = 25;

} // namespace

QLabel *label(QWidget *parent, const QString &text, int x, int y, int width)
{
    auto *result = new QLabel(text, parent);
    result->setGeometry(x, y, width, 20);
    return result;
}

QPushButton *button(QWidget *parent, const QString &caption, int x, int y, int width)
{
    auto *result = new QPushButton(caption, parent);
    result->setGeometry(x, y, width, RowHeight);
    return result;
}

QFrame *rule(QWidget *parent, int x, int y, int width)
{
    auto *result = new QFrame(parent);
    result->setFrameShape(QFrame::HLine);
    result->setFrameShadow(QFrame::Sunken);
    result->setGeometry(x, y, width, 2);
    return result;
}

QDateEdit *datePicker(QWidget *parent, const RegionalFormats &formats, int x, int y, int width)
{
    auto *result = new QDateEdit(parent);
    result->setGeometry(x, y, width, RowHeight);
    result->setDisplayFormat(formats.shortDateFormat());
    result->setCalendarPopup(true);
    TimeTyping::install(result);
    return result;
}

QTimeEdit *timePicker(QWidget *parent, const RegionalFormats &formats, int x, int y, int width)
{
    auto *result = new QTimeEdit(parent);
    result->setGeometry(x, y, width, RowHeight);
    result->setDisplayFormat(formats.longTimeFormat());
    TimeTyping::install(result);
    return result;
}

QDateTime pickedDateTime(const QDateEdit *date, const QTimeEdit *time)
{
    const QTime t = time->time();
    return QDateTime(date->date(), QTime(t.hour(), t.minute(), t.second()));
}

void name(QWidget *input, QLabel *label)
{
    label->setBuddy(input);
    name(input, label->text());
}

void name(QWidget *input, const QString &text)
{
    QString shown = text.trimmed();
    while (shown.endsWith(QChar(0xFF1A)) || shown.endsWith(QLatin1Char(':')))
        shown.chop(1);
    input->setAccessibleName(shown);
}

} // namespace Controls
