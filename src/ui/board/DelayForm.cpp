#include "ui/board/DelayForm.h"

#include "data/DbError.h"
#include "data/ServerAddress.h"
#include "schedule/ExamDelay.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

DelayForm::DelayForm(const QString &server, QWidget *parent)
    : QWidget(parent), subject(new QLineEdit(this)), minutes(new QSpinBox(this)),
      delay(new QPushButton(QStringLiteral("推迟考试"), this)), result(new QPlainTextEdit(this)),
      m_server(server)
{
    minutes->setRange(-ExamDelay::MostMinutes, ExamDelay::MostMinutes);
    minutes->setValue(10);
    minutes->setSuffix(QStringLiteral(" 分钟"));
    subject->setPlaceholderText(QStringLiteral("考试科目"));
    result->setReadOnly(true);
    result->setMaximumHeight(90);
    subject->setAccessibleName(QStringLiteral("要推迟的考试科目"));
    minutes->setAccessibleName(QStringLiteral("推迟的分钟数"));
    result->setAccessibleName(QStringLiteral("推迟结果"));
    auto *row = new QHBoxLayout;
    row->addWidget(new QLabel(QStringLiteral("推迟考试："), this));
    row->addWidget(subject, 1);
    row->addWidget(minutes);
    row->addWidget(delay);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addWidget(result);
    connect(delay, &QPushButton::clicked, this, &DelayForm::delayClick);
}

void DelayForm::delayClick()
{
    const QString name = subject->text();
    const int by = minutes->value();
    if (name.isEmpty() || by == 0) {
        result->setPlainText(QStringLiteral("请填写考试科目和不为 0 的分钟数"));
        return;
    }
    try {
        const ExamDelay::Result done = ExamDelay::apply(m_server, name, by);
        result->setPlainText(done.found ? done.text(name, by, ServerAddress::shown(m_server))
                                        : QStringLiteral("服务器上没有考试科目：") + name);
    } catch (const DbError &error) {
        result->setPlainText(QStringLiteral("未能推迟：") + QString::fromUtf8(error.what()));
    }
}
