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
// playtime), from the first row on.
void fill(QTreeWidget *list, Query &rows, const RegionalFormats &formats);
QTreeWidgetItem *append(QTreeWidget *list, const QString &filename, const QString &explain,
                        const QTime &playtime, const RegionalFormats &formats);
QTime playtime(const QTreeWidgetItem *row);

} // namespace InstructionList
