#include "ui/common/ClockFields.h"

#include <QDateTimeEdit>
#include <algorithm>

ClockFields::ClockFields(QList<QDateTimeEdit *> fields, QObject *parent)
    : QObject(parent), m_fields(std::move(fields))
{
    for (QDateTimeEdit *field : m_fields)
        connect(field, &QDateTimeEdit::dateTimeChanged, this, [this] {
            if (!m_showing)
                m_edited = true;
        });
}

void ClockFields::follow(const QDateTime &value)
{
    if (!edited())
        show(value);
}

void ClockFields::restart(const QDateTime &value)
{
    m_edited = false;
    show(value);
}

bool ClockFields::edited() const
{
    return m_edited || std::any_of(m_fields.cbegin(), m_fields.cend(),
                                   [](const QDateTimeEdit *field) { return field->hasFocus(); });
}

void ClockFields::show(const QDateTime &shown)
{
    // To the second, as the fields show it and a person types it.
    QDateTime value = shown;
    value.setTime(QTime(shown.time().hour(), shown.time().minute(), shown.time().second()));
    m_showing = true;
    // A time field keeps its own date, which bounds the times it takes.
    for (QDateTimeEdit *field : m_fields) {
        if (!(field->displayedSections() & QDateTimeEdit::DateSections_Mask))
            field->setTime(value.time());
        else if (!(field->displayedSections() & QDateTimeEdit::TimeSections_Mask))
            field->setDate(value.date());
        else
            field->setDateTime(value);
    }
    m_showing = false;
}
