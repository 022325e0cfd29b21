#include "skin/open_files_dialog.h"

#include "platform/native_name.h"
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
    const OpenFilesDialog &seam = DialogSeam();
    QStringList chosen =
        seam ? seam(owner, start, filter) : QFileDialog::getOpenFileNames(owner, QString(), start, filter);
    // The dialog shows and returns a name that is no UTF-8 with U+FFFD in it.
    for (QString &path : chosen)
        path = platform::NameOnDisk(path);
    return chosen;
}

OpenFilesDialog SetOpenFilesDialog(OpenFilesDialog dialog)
{
    OpenFilesDialog previous = std::move(DialogSeam());
    DialogSeam() = std::move(dialog);
    return previous;
}
