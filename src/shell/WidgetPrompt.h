#pragma once

#include "data/UntPublic.h"

// The prompt object of the running program: real message boxes, file
// dialogs and the desktop's handler for documents and addresses.
class TWidgetPrompt : public TPrompt
{
public:
    bool Box(TBoxKind kind, const QString &caption, const QString &text) override;
    QString FileDialog(TFileDialogKind kind, const QString &filter) override;
    QStringList FilesDialog(const QString &filter) override;
    void OpenDocument(const QString &target) override;
};
