#pragma once

#include "image/image_run_controller.h"
#include "image/image_worker.h"
#include "shell/file_intake.h"
#include "widgets/row_status.h"

#include <QList>
#include <QString>
#include <QStringList>

class FileListCtrl;
class QWidget;

// The image page's list of pictures: configures the shared FileListCtrl (columns, colours,
// accepted extensions) and carries the add, drop and delete commands, the row states and the
// rows a run takes. The list keeps the rows; this class only decides. Window thread.
class ImageList {
public:
    explicit ImageList(FileListCtrl &list);

    FileListCtrl &List() { return m_list; }

    // Columns, fonts, colours and the extensions of IDS_SUPPORT_IMAGE_FILES.
    void Configure();

    // Adds the paths in order as checked, waiting rows. The batch ends silently at a folder,
    // and with IDS_MESSAGEBOX_FILE_SUPPORT at a file the list refuses (unsupported or listed);
    // the files before it stay. Returns how many were added.
    int AddFiles(const QStringList &paths);
    // Opens the open-file dialog (through the seam below) in the remembered folder, then adds.
    int AddThroughDialog(QWidget *owner);

    // Asks with the checked rows' names and removes them (not the selected ones) on Yes.
    // Nothing is asked when no row is checked. Returns whether rows went.
    bool DeleteCheckedRows();

    // Status code and its text in the status column; a row outside the list changes nothing.
    void ShowRowStatus(int row, RowStatus status);
    void ShowAllWaiting();

    // The checked rows in list order, as a run takes them.
    QList<ImageBatchItem> CheckedItems() const;

    // Removes the rows of sources that went to the trash. Each row is found by its path, so a
    // row that moved since the run started is still the one removed.
    void RemoveRowsOf(const QList<RemovedSource> &removed);

    // Test seam for the open-file dialog: returns the chosen paths (empty: cancelled).
    using OpenFilesDialog = ::OpenFilesDialog;
    // nullptr restores QFileDialog; returns the seam set before.
    static OpenFilesDialog SetOpenFilesDialog(OpenFilesDialog dialog);
    static QString DialogFilter();

private:
    bool InsertPicture(const QString &path);

    FileListCtrl &m_list;
};
