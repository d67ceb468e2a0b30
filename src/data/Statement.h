#pragma once

#include <QString>
#include <QVariantList>

// One SQL statement with its values. Values are always bound as parameters
// (positional '?'), never spliced into the text, so quotes, CR LF and any
// Unicode survive unchanged.
struct Statement
{
    QString sql;
    QVariantList values;
};
