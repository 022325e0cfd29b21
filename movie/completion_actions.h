#pragma once

#include <QList>
#include <QString>

class FileListCtrl;
class QWidget;

// A file of the run that the engine reported finished and whose output was on disk.
struct CompletedFile {
    int row = -1;
    QString sourcePath;
    QString outputPath;
};

// Moves the sources of the completed files to the trash (plain deletion only when the trash
// refuses) and removes their rows. A source stays, with its row, when its output is no longer
// a non-empty file, when it is gone already, or when it cannot be removed. Returns the number
// of rows removed. Window thread.
int DeleteSourceFiles(FileListCtrl &list, const QList<CompletedFile> &completed);

// Powers the computer off through the platform layer; a refusal does nothing and shows nothing.
bool ShutDownComputer();

// The end of a run. With the shutdown box checked: delete the sources (when deleteSources and
// the delete box are set), then power off, no message. Otherwise: the end message first, then
// the deletion once the user has closed it. deleteSources is set when the last file finished.
void RunCompletionActions(QWidget *owner, FileListCtrl &list, const QList<CompletedFile> &completed,
                          bool deleteSources, bool deleteBoxChecked, bool shutdownBoxChecked);
