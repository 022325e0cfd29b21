#include "skin/open_files_dialog.h"

#include "shell/current_folder.h"

#include <QFileDialog>

namespace {

OpenFilesDialog &DialogSeam()
{
    static OpenFilesDialog dialog;
    return dialog;
}

} // namespace

QStringList ChooseFilesToAdd(QWidget *owner, const QString &filter)
{
    const QString start = ReadCurrentFolder().value_or(QString());
    if (const OpenFilesDialog &seam = DialogSeam())
        return seam(owner, start, filter);
    return QFileDialog::getOpenFileNames(owner, QString(), start, filter);
}

OpenFilesDialog SetOpenFilesDialog(OpenFilesDialog dialog)
{
    OpenFilesDialog previous = std::move(DialogSeam());
    DialogSeam() = std::move(dialog);
    return previous;
}
