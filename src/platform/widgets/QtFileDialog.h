#pragma once

#include "platform/FileDialog.h"

class QtFileDialog final : public FileDialog
{
public:
    QString openFileName(QWidget *owner, const QString &caption, const QString &folder,
                         const QString &filter) override;
};
