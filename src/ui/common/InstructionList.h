#pragma once

#include <QStringList>
#include <QTime>
#include <optional>

class QTreeWidget;
struct Instruction;
class QTreeWidgetItem;
class RegionalFormats;

// The three-column instruction lists (file, explanation, play time) of the
// console, the editor and the run window. Each row keeps its play time as a
// value beside the shown text, so saving never has to parse a display text,
// and a row read from the database keeps the stored text too, until it is
// changed: a time the program cannot read is shown as such and written back
// as it was.
namespace InstructionList {

void setUp(QTreeWidget *list, const QStringList &headers);
// Replaces the list's rows with the instructions and fits the columns.
// Returns how many play times could not be read.
int fill(QTreeWidget *list, const QList<Instruction> &instructions, const RegionalFormats &formats);
// Appends a row; the columns keep their widths until fitColumns().
QTreeWidgetItem *append(QTreeWidget *list, const QString &filename, const QString &explain,
                        const QTime &playtime, const RegionalFormats &formats);
// Replaces what a row shows and holds.
void set(QTreeWidgetItem *row, const QString &filename, const QString &explain,
         const QTime &playtime, const RegionalFormats &formats);
// The stored row a list row was read from (its rowid); none for a row added
// on screen. A row changed on screen keeps it: a running room takes it for
// the same instruction, moved.
std::optional<qint64> identity(const QTreeWidgetItem *row);
// Invalid for a stored time that cannot be read.
QTime playtime(const QTreeWidgetItem *row);
// The text to store for the row's play time: as read for a row never
// changed, otherwise the play time in the stored form.
QString storedPlaytime(const QTreeWidgetItem *row);
// Sizes each column to its caption and its widest text.
void fitColumns(QTreeWidget *list);

} // namespace InstructionList
