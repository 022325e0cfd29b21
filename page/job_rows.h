#pragma once

#include "page/job_list_model.h"
#include "run/run_outcome.h"

#include <QFileIconProvider>
#include <QList>
#include <QString>
#include <QStringList>

class FileListCtrl;
class QWidget;

// A page's list of input files: owns the model of its rows and sets it under the page's
// FileListCtrl, configures both alike on both pages (columns, looks, accepted extensions), and
// carries the add, drop and delete commands and what a run's file ends do to their rows. The
// model keeps the rows; this class only decides, naming rows by id. Window thread.
class JobRows {
public:
    static constexpr int kMaxNamesInQuestion = 10;

    // extensionsKey: the language file's list of accepted extensions; titleKey: the name of
    // those files in the open-file dialog's filter.
    JobRows(FileListCtrl &list, QString extensionsKey, QString titleKey);

    JobListModel &Model() { return m_model; }
    const JobListModel &Model() const { return m_model; }
    FileListCtrl &List() { return m_list; }
    void Configure();

    // Adds the paths in order as checked, waiting rows. The batch ends silently at a folder,
    // and with IDS_MESSAGEBOX_FILE_SUPPORT at a file the list refuses (unsupported, listed, or
    // not a regular file); the files before it stay. Returns how many were added.
    int AddFiles(const QStringList &paths);
    bool AddFile(const QString &path) { return AddFiles({path}) == 1; }
    // Opens the open-file dialog (through the shared seam) in the remembered folder, then adds.
    int AddThroughDialog(QWidget *owner);
    QString DialogFilter() const;

    // The question asked before removing the rows of these ids: the text, a blank line, then
    // one name per line for at most ten rows and a "<...more files...>" line when there are more.
    QString DeleteQuestion(const QList<int> &ids) const;
    // Removes the checked rows (not the selected ones) when the user answers Yes. Nothing is
    // asked when no row is checked. Returns whether rows went.
    bool DeleteCheckedRows();

    // Every row waiting again as a new run begins; each keeps its last run.
    void ShowAllWaiting() { m_model.SetAllStatus(RowStatus::Waiting); }
    // The state of the file's row after it ended in a run: converted and failed rows are
    // unchecked and that is their last run; a cancelled or stopped one waits again and keeps
    // its check. A row that has gone meanwhile changes nothing.
    void ShowFileEnd(const FileEnd &end);
    // Removes the rows of these files, as their ids name them.
    void RemoveRowsOf(const QList<FileEnd> &files);

private:
    FileListCtrl &m_list;
    QFileIconProvider m_icons; // before the model, which asks it
    JobListModel m_model;
    QString m_extensionsKey;
    QString m_titleKey;
};
