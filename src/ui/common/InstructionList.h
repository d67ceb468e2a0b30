#pragma once

#include <QStringList>
#include <QTime>

class Query;
class QTreeWidget;
class QTreeWidgetItem;
class RegionalFormats;

// The three-column instruction lists (file, explanation, play time) of the
// console, the editor and the run window. Each row keeps its play time as a
// value beside the shown text, so saving never has to parse a display text.
namespace InstructionList {

void setUp(QTreeWidget *list, const QStringList &headers);
// Replaces the list's rows with the query's rows (filename, explain,
// playtime), from the first row on, and fits the columns.
void fill(QTreeWidget *list, Query &rows, const RegionalFormats &formats);
// Appends a row; the columns keep their widths until fitColumns().
QTreeWidgetItem *append(QTreeWidget *list, const QString &filename, const QString &explain,
                        const QTime &playtime, const RegionalFormats &formats);
// Replaces what a row shows and holds.
void set(QTreeWidgetItem *row, const QString &filename, const QString &explain,
         const QTime &playtime, const RegionalFormats &formats);
QTime playtime(const QTreeWidgetItem *row);
// Sizes each column to its caption and its widest text.
void fitColumns(QTreeWidget *list);

} // namespace InstructionList
