#pragma once

#include "schedule/Schedule.h"

// A subject's instructions in play order with a cursor, moved between the
// scheduler's ticks. After reset() the cursor stands on the first
// instruction (if any). next() on the last sets eof() and stays there;
// next() with eof() set does nothing. prior() moves back one and clears
// eof(); on the first it stays and clears eof().
class InstructionQueue final
{
public:
    void reset(QList<Instruction> instructions)
    {
        m_all = std::move(instructions);
        first();
    }
    const QList<Instruction> &all() const { return m_all; }
    int size() const { return int(m_all.size()); }

    void first()
    {
        m_row = 0;
        m_eof = m_all.isEmpty();
    }
    void next()
    {
        if (m_eof)
            return;
        if (m_row + 1 < m_all.size())
            ++m_row;
        else
            m_eof = true;
    }
    void prior()
    {
        if (m_all.isEmpty())
            return;
        if (m_row > 0)
            --m_row;
        m_eof = false;
    }
    bool eof() const { return m_eof; }
    int row() const { return m_row; }
    // The instruction under the cursor; an empty one in an empty queue.
    const Instruction &current() const
    {
        static const Instruction none;
        return m_row < m_all.size() ? m_all.at(m_row) : none;
    }

private:
    QList<Instruction> m_all;
    int m_row = 0;
    bool m_eof = true;
};
