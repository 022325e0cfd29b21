#pragma once

#include "shell/file_intake.h"

#include <QList>
#include <QString>
#include <QStringList>

class FileListCtrl;
class QWidget;

// The movie window's list of input files: configures the shared FileListCtrl (columns,
// colours, accepted extensions) and carries the add, drop and delete commands and the status
// texts. The list keeps the rows; this class only decides. Window thread.
class JobList {
public:
    static constexpr int kMaxNamesInQuestion = 10;

    explicit JobList(FileListCtrl &list);

    FileListCtrl &List() { return m_list; }
    const FileListCtrl &List() const { return m_list; }

    // Columns, fonts, colours and the accepted extensions from the language file.
    void Configure();

    // Adds one file as a checked, waiting row. A folder is refused without a word; an
    // unsupported or already listed file is refused with IDS_MESSAGEBOX_FILE_SUPPORT.
    bool AddJobFile(const QString &path);
    // Adds the paths in order and stops at the first refusal. Returns how many were added.
    int AddJobFiles(const QStringList &paths);

    // Writes the code's text into the status column and stores the code; codes outside 0-4
    // show an empty text. A row outside the list changes nothing.
    void ShowRowStatus(int row, int code);

    // The open-file dialog's filter: "Video and audio files (*.avi *.mp4 ...)".
    static QString DialogFilter();
    // Opens the dialog (through the seam below) in the remembered folder, then adds.
    int AddThroughDialog(QWidget *owner);

    // The question asked before removing rows: the text, a blank line, then one name per line
    // for at most ten rows and a "<...more files...>" line when there are more.
    QString DeleteQuestion(const QList<int> &rows) const;
    // Removes the checked rows (not the selected ones) when the user answers Yes. Returns
    // whether rows went.
    bool DeleteCheckedRows();

    // Test seam for the open-file dialog: returns the chosen paths (empty: cancelled).
    using OpenFilesDialog = ::OpenFilesDialog;
    static OpenFilesDialog SetOpenFilesDialog(OpenFilesDialog dialog);

private:
    FileListCtrl &m_list;
};
