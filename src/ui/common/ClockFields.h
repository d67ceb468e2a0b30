#pragma once

#include <QDateTime>
#include <QList>
#include <QObject>

class QDateTimeEdit;

// Date and time fields that keep up with the clock while nobody edits them:
// a value shown a while ago would set the clock, or announce, that while too
// early. Once a person has changed one of them, or while one has the focus,
// they keep what the person gave them.
class ClockFields final : public QObject
{
public:
    ClockFields(QList<QDateTimeEdit *> fields, QObject *parent);

    // Shows value in every field, unless they are being edited.
    void follow(const QDateTime &value);
    // Shows value and follows the clock again, whatever was edited.
    void restart(const QDateTime &value);
    bool edited() const;

private:
    void show(const QDateTime &value);

    QList<QDateTimeEdit *> m_fields;
    bool m_edited = false;
    bool m_showing = false;
};
