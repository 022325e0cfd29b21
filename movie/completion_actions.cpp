#include "movie/completion_actions.h"

#include "platform/shutdown.h"
#include "shell/lang.h"
#include "shell/message_box.h"
#include "widgets/file_list_ctrl.h"

#include <QFile>
#include <QFileInfo>

namespace {

// The row that holds path: the expected one when rows above it went, else a search.
int FindRow(const FileListCtrl &list, int expected, const QString &path)
{
    if (list.RowPath(expected) == path)
        return expected;
    for (int row = 0; row < list.RowCount(); ++row) {
        if (list.RowPath(row) == path)
            return row;
    }
    return -1;
}

bool RemoveSource(const QString &path)
{
    QFile source(path);
    return source.moveToTrash() || source.remove();
}

} // namespace

int DeleteSourceFiles(FileListCtrl &list, const QList<CompletedFile> &completed)
{
    int removed = 0;
    for (const CompletedFile &file : completed) {
        const QFileInfo output(file.outputPath);
        if (!output.isFile() || output.size() <= 0)
            continue;
        // Never the output itself, whatever the names say.
        if (QFileInfo(file.sourcePath).canonicalFilePath() == output.canonicalFilePath())
            continue;
        const int row = FindRow(list, file.row - removed, file.sourcePath);
        if (row < 0 || !QFileInfo(file.sourcePath).isFile() || !RemoveSource(file.sourcePath))
            continue;
        list.RemoveRow(row);
        ++removed;
    }
    return removed;
}

bool ShutDownComputer()
{
    return platform::PowerOff();
}

void RunCompletionActions(QWidget *owner, FileListCtrl &list, const QList<CompletedFile> &completed,
                          bool deleteSources, bool deleteBoxChecked, bool shutdownBoxChecked)
{
    const bool deleting = deleteSources && deleteBoxChecked;
    if (shutdownBoxChecked) {
        if (deleting)
            DeleteSourceFiles(list, completed);
        ShutDownComputer();
        return;
    }
    XMessageBoxEx(owner, Lang::Get(QStringLiteral("IDS_MESSAGEBOX_CONVERT_END")),
                  Lang::Get(QStringLiteral("IDS_MESSAGEBOX_INFO")), MB_ICONINFORMATION);
    if (deleting)
        DeleteSourceFiles(list, completed);
}
