#include "ui/common/TimeTyping.h"

#include <QDateTimeEdit>
#include <QKeyEvent>
#include <QLineEdit>
#include <utility>

namespace TimeTyping {

namespace {

class Typing final : public QObject
{
public:
    explicit Typing(QDateTimeEdit *field)
        : QObject(field), m_field(field),
          m_line(field->findChild<QLineEdit *>(QString(), Qt::FindDirectChildrenOnly))
    {}

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched != m_field || event->type() != QEvent::KeyPress || !m_line)
            return false;
        const QString text = static_cast<QKeyEvent *>(event)->text();
        const bool advanced = std::exchange(m_advanced, false);
        if (text.size() != 1 || !text[0].isPrint())
            return false;
        if (!text[0].isDigit())
            // The separator between the sections the person typed: the
            // field already moved on when the last one filled up.
            return advanced && !text[0].isLetter();
        if (m_line->selectedText().size() >
            m_field->sectionText(m_field->currentSection()).size()) {
            m_line->setCursorPosition(m_line->selectionStart());
            m_field->setSelectedSection(m_field->currentSection());
        }
        const int before = m_field->currentSectionIndex();
        static_cast<QObject *>(m_field)->event(event);
        m_advanced = m_field->currentSectionIndex() != before;
        return true;
    }

private:
    QDateTimeEdit *m_field;
    QLineEdit *m_line;
    bool m_advanced = false;
};

} // namespace

void install(QDateTimeEdit *field)
{
    field->installEventFilter(new Typing(field));
}

} // namespace TimeTyping
