#pragma once

#include <QString>

class QWidget;

// The platform's file-open dialog. Returns an empty path when cancelled.
class FileDialog
{
public:
    virtual ~FileDialog() = default;
    virtual QString openFileName(QWidget *owner, const QString &caption, const QString &folder,
                                 const QString &filter) = 0;
};
