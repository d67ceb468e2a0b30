#include "TextTable.h"

#include "Format.h"

#include <QTextStream>
#include <algorithm>

namespace {

constexpr int ColumnGap = 2;

} // namespace

void TextTable::print(QTextStream &out, const QString &indent) const
{
    QList<int> widths;
    for (const QStringList &row : m_rows) {
        widths.resize(std::max(widths.size(), row.size()));
        for (qsizetype i = 0; i < row.size(); ++i)
            widths[i] = std::max(widths[i], Format::displayWidth(row[i]));
    }
    for (const QStringList &row : m_rows) {
        QString line = indent;
        for (qsizetype i = 0; i < row.size(); ++i) {
            line += row[i];
            if (i + 1 < row.size())
                line += QString(widths[i] - Format::displayWidth(row[i]) + ColumnGap, u' ');
        }
        out << line << '\n';
    }
}
