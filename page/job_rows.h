#pragma once

#include "run/list_store.h"
#include "run/row_status.h"
#include "run/run_outcome.h"
#include "shell/file_intake.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

class FileListCtrl;
class QWidget;

// A page's list of input files: configures the shared FileListCtrl (columns, colours,
// accepted extensions) and carries the add, drop and delete commands, the row states and
// each row's last run (its output or its reason), which its status tooltip tells. The list
// keeps the rows; this class only decides. Window thread.
class JobRows {
public:
    static constexpr int kMaxNamesInQuestion = 10;

    // extensionsKey: the language file's list of accepted extensions; titleKey: the name of
    // those files in the open-file dialog's filter.
    JobRows(FileListCtrl &list, QString extensionsKey, QString titleKey);

    FileListCtrl &List() { return m_list; }
    const FileListCtrl &List() const { return m_list; }
    void Configure();

    // Adds the paths in order as checked, waiting rows. The batch ends silently at a folder,
    // and with IDS_MESSAGEBOX_FILE_SUPPORT at a file the list refuses (unsupported, listed, or
    // not a regular file); the files before it stay. Returns how many were added.
    int AddFiles(const QStringList &paths);
    bool AddFile(const QString &path) { return AddFiles({path}) == 1; }
    // Rows kept from the last start, appended in one go: refused as AddFiles refuses
    // (extensions, duplicates) but silently, each with its check, status and last run.
    // Returns how many the list took.
    int RestoreRows(const QList<KeptRow> &rows);
    // Opens the open-file dialog (through the shared seam) in the remembered folder, then adds.
    int AddThroughDialog(QWidget *owner);
    QString DialogFilter() const;

    // The question asked before removing rows: the text, a blank line, then one name per line
    // for at most ten rows and a "<...more files...>" line when there are more.
    QString DeleteQuestion(const QList<int> &rows) const;
    // Removes the checked rows (not the selected ones) when the user answers Yes. Nothing is
    // asked when no row is checked. Returns whether rows went.
    bool DeleteCheckedRows();

    // Status code and its text; a row outside the list changes nothing. The row's last run
    // stays, and its tooltip says it: a failed row's reason, else "Last run: …".
    void ShowRowStatus(int row, RowStatus status);
    // Failed, with why: the row's last run.
    void ShowRowFailed(int row, const Reason &reason);
    // Every row waiting again as a new run begins; each keeps its last run.
    void ShowAllWaiting();
    // The row's state after a file of a run ended: converted and failed rows are unchecked
    // and that is their last run; a cancelled or stopped one waits again and keeps its check.
    void ShowFileEnd(const FileEnd &end);
    LastRun RowLastRun(int row) const;
    // Why the row's last run failed it; None when it did not.
    Reason RowReason(int row) const { return RowLastRun(row).reason; }

    // The checked rows, top to bottom.
    QList<int> CheckedRows() const;
    // Removes the rows of these sources, each found by its path.
    void RemoveRowsOf(const QList<FileEnd> &files);

private:
    bool InsertRow(const QString &path, bool checked, RowStatus status);
    static QString StatusTip(RowStatus status, const LastRun &last);

    FileListCtrl &m_list;
    QString m_extensionsKey;
    QString m_titleKey;
    QHash<QString, LastRun> m_lastRuns; // by path: rows move and go, paths stay unique
};
