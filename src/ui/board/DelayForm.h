#pragma once

#include <QWidget>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;

// The board's way of putting an exam back: a subject, minutes (negative
// brings it forward), and "推迟考试", which moves it on the server as
// `tessivox-db delay` does. The server decides who may: a room's login is
// refused, and the refusal is shown.
class DelayForm final : public QWidget
{
    Q_OBJECT

public:
    DelayForm(const QString &server, QWidget *parent = nullptr);

    void delayClick();

    QLineEdit *subject;
    QSpinBox *minutes;
    QPushButton *delay;
    // What moved, or why nothing did: plain text, as a room's names may be.
    QPlainTextEdit *result;

private:
    QString m_server;
};
