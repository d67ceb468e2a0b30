#pragma once

#include "platform/FileDialog.h"

class FakeFileDialog final : public FileDialog
{
public:
    QString openFileName(QWidget *, const QString &, const QString &folder,
                         const QString &filter) override
    {
        lastFolder = folder;
        lastFilter = filter;
        return answer;
    }

    QString answer;
    QString lastFolder;
    QString lastFilter;
};
