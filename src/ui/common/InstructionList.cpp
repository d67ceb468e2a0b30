#include "ui/common/InstructionList.h"

#include "data/Query.h"
#include "platform/RegionalFormats.h"

#include <QHeaderView>
#include <QTreeWidget>

namespace InstructionList {

void setUp(QTreeWidget *list, const QStringList &headers)
{
    list->setColumnCount(3);
    list->setHeaderLabels(headers);
    list->setRootIsDecorated(false);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
}

void fill(QTreeWidget *list, Query &rows, const RegionalFormats &formats)
{
    list->clear();
    const int count = rows.recordCount();
    rows.first();
    for (int i = 0; i < count; ++i) {
        append(list, rows.text(QStringLiteral("filename")), rows.text(QStringLiteral("explain")),
               rows.time(QStringLiteral("playtime")), formats);
        rows.next();
    }
}

QTreeWidgetItem *append(QTreeWidget *list, const QString &filename, const QString &explain,
                        const QTime &playtime, const RegionalFormats &formats)
{
    auto *row = new QTreeWidgetItem(list, {filename, explain, formats.longTime(playtime)});
    row->setData(2, Qt::UserRole, playtime);
    return row;
}

QTime playtime(const QTreeWidgetItem *row)
{
    return row->data(2, Qt::UserRole).toTime();
}

} // namespace InstructionList
