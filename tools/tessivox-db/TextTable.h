#pragma once

#include <QList>
#include <QStringList>

class QTextStream;

// Rows of cells printed in columns as wide as their widest cell, measured in
// terminal columns so that Chinese text lines up.
class TextTable final
{
public:
    // Without a header, the table is only its rows.
    explicit TextTable(QStringList header = {})
    {
        if (!header.isEmpty())
            m_rows.append(std::move(header));
    }
    Q_DISABLE_COPY_MOVE(TextTable)

    void addRow(QStringList cells) { m_rows.append(std::move(cells)); }
    // Each line starts with indent; the last column is not padded.
    void print(QTextStream &out, const QString &indent) const;

private:
    QList<QStringList> m_rows;
};
