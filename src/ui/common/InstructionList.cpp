#include "ui/common/InstructionList.h"

#include "data/StoredTime.h"
#include "platform/RegionalFormats.h"
#include "schedule/Schedule.h"

#include <QHeaderView>
#include <QStyle>
#include <QTreeWidget>

namespace InstructionList {

namespace {

// The play time as read from the database, kept while the row is unchanged.
constexpr int StoredRole = Qt::UserRole + 1;
constexpr int IdentityRole = Qt::UserRole + 2;

QTreeWidgetItem *makeRow(const QString &filename, const QString &explain, const QTime &playtime,
                         const RegionalFormats &formats)
{
    // Filled before it joins a list, so the list hears of it only once.
    auto *row = new QTreeWidgetItem;
    set(row, filename, explain, playtime, formats);
    return row;
}

// The width of a text's longest line; explanations may span several.
int textWidth(const QFontMetrics &metrics, const QString &text)
{
    int widest = 0;
    for (QStringView line : QStringView(text).split(QLatin1Char('\n')))
        widest = std::max(widest, metrics.horizontalAdvance(line.toString()));
    return widest;
}

} // namespace

void setUp(QTreeWidget *list, const QStringList &headers)
{
    list->setColumnCount(int(headers.size()));
    list->setHeaderLabels(headers);
    list->setRootIsDecorated(false);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->header()->setSectionResizeMode(QHeaderView::Fixed);
    fitColumns(list);
}

int fill(QTreeWidget *list, const QList<Instruction> &instructions, const RegionalFormats &formats)
{
    list->clear();
    QList<QTreeWidgetItem *> items;
    items.reserve(instructions.size());
    int unreadable = 0;
    for (const Instruction &instruction : instructions) {
        const QString &stored = instruction.storedTime;
        const QTime &playtime = instruction.time;
        QTreeWidgetItem *row =
            makeRow(instruction.filename, instruction.explain, playtime, formats);
        row->setData(2, StoredRole, stored);
        row->setData(0, IdentityRole, instruction.id);
        if (!playtime.isValid()) {
            ++unreadable;
            row->setText(2, stored.isEmpty() ? QStringLiteral("无法读取")
                                             : QStringLiteral("无法读取：") + stored);
        }
        items.append(row);
    }
    list->addTopLevelItems(items);
    fitColumns(list);
    return unreadable;
}

QTreeWidgetItem *append(QTreeWidget *list, const QString &filename, const QString &explain,
                        const QTime &playtime, const RegionalFormats &formats)
{
    QTreeWidgetItem *row = makeRow(filename, explain, playtime, formats);
    list->addTopLevelItem(row);
    return row;
}

void set(QTreeWidgetItem *row, const QString &filename, const QString &explain,
         const QTime &playtime, const RegionalFormats &formats)
{
    row->setText(0, filename);
    row->setText(1, explain);
    row->setText(2, formats.longTime(playtime));
    row->setData(2, Qt::UserRole, playtime);
    row->setData(2, StoredRole, QVariant());
}

std::optional<qint64> identity(const QTreeWidgetItem *row)
{
    const QVariant id = row->data(0, IdentityRole);
    return id.isValid() ? std::optional(id.toLongLong()) : std::nullopt;
}

QTime playtime(const QTreeWidgetItem *row)
{
    return row->data(2, Qt::UserRole).toTime();
}

QString storedPlaytime(const QTreeWidgetItem *row)
{
    const QVariant stored = row->data(2, StoredRole);
    return stored.isValid() ? stored.toString() : StoredTime::fromTime(playtime(row));
}

void fitColumns(QTreeWidget *list)
{
    // What the header's ResizeToContents gives, without its cost: it asks
    // the item delegate for the size of every cell, which takes about 0.4 s
    // for 1,000 rows. Font metrics find each column's widest text cheaply;
    // the delegate is asked for that one cell only.
    const QFontMetrics metrics(list->font());
    QHeaderView *header = list->header();
    for (int column = 0; column < list->columnCount(); ++column) {
        int widestRow = -1;
        int widest = -1;
        for (int i = 0; i < list->topLevelItemCount(); ++i) {
            const int width = textWidth(metrics, list->topLevelItem(i)->text(column));
            if (width > widest) {
                widest = width;
                widestRow = i;
            }
        }
        int size = header->sectionSizeHint(column);
        if (widestRow >= 0)
            size = std::max(
                size, list->sizeHintForIndex(list->model()->index(widestRow, column)).width());
        header->resizeSection(column, size);
    }
    // The explanation gives way, so that the columns after it stay in view.
    const int room = list->width() - 2 * list->frameWidth() -
                     list->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, list);
    int others = 0;
    for (int column = 0; column < list->columnCount(); ++column)
        if (column != 1)
            others += header->sectionSize(column);
    if (list->columnCount() > 2 && others + header->sectionSize(1) > room)
        header->resizeSection(1, std::max(header->sectionSizeHint(1), room - others));
}

} // namespace InstructionList
