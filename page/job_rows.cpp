#include "page/job_rows.h"

#include "run/reason_text.h"
#include "shell/app_paths.h"
#include "shell/lang.h"
#include "skin/message_box.h"
#include "skin/open_files_dialog.h"
#include "skin/skin_dialog.h"
#include "widgets/file_list_ctrl.h"
#include "widgets/page_list.h"

#include <QDir>

JobRows::JobRows(FileListCtrl &list, QString extensionsKey, QString titleKey)
    : m_list(list)
    , m_extensionsKey(std::move(extensionsKey))
    , m_titleKey(std::move(titleKey))
{
}

void JobRows::Configure() { ConfigurePageList(m_list, FileListTexts::FromLang(m_extensionsKey)); }

int JobRows::AddFiles(const QStringList &paths)
{
    const IntakeResult result =
        AddFilesInOrder(paths, [this](const QString &path) { return InsertRow(path, true, RowStatus::Waiting); });
    if (!result.refusedPath.isEmpty())
        XMessageBox(
            Lang::Get(QStringLiteral("IDS_MESSAGEBOX_FILE_SUPPORT")).arg(GetFileNameWithExt(result.refusedPath)),
            Lang::Get(QStringLiteral("IDS_MESSAGEBOX_INFO")), MB_ICONQUESTION);
    return result.added;
}

int JobRows::RestoreRows(const QList<KeptRow> &rows)
{
    QList<FileListRow> listRows;
    listRows.reserve(rows.size());
    for (const KeptRow &kept : rows) {
        FileListRow row;
        row.path = kept.path;
        row.checked = kept.checked;
        row.status = int(kept.status);
        row.texts = {QString(), FormatFileSize(kept.path), RowStatusText(row.status).left(99)};
        row.statusTip = StatusTip(kept.status, kept.last);
        listRows.append(std::move(row));
    }
    const QList<int> taken = m_list.InsertFiles(std::move(listRows));
    for (int i : taken) {
        if (rows[i].last.end != LastRun::End::None)
            m_lastRuns.insert(rows[i].path, rows[i].last);
    }
    return int(taken.size());
}

bool JobRows::InsertRow(const QString &path, bool checked, RowStatus status)
{
    if (!m_list.InsertFile(path, checked))
        return false;
    const int row = m_list.RowCount() - 1;
    m_lastRuns.remove(path);
    m_list.SetItemText(row, 1, FormatFileSize(path));
    ShowRowStatus(row, status);
    return true;
}

QString JobRows::DialogFilter() const
{
    return ExtensionDialogFilter(Lang::Get(m_titleKey), ParseExtensionList(Lang::Get(m_extensionsKey)));
}

int JobRows::AddThroughDialog(QWidget *owner) { return AddFiles(ChooseFilesToAdd(owner, DialogFilter())); }

QString JobRows::DeleteQuestion(const QList<int> &rows) const
{
    QString text = Lang::Get(QStringLiteral("IDS_MESSAGEBOX_DELETE")) + QStringLiteral("\n\n");
    for (int i = 0; i < rows.size() && i < kMaxNamesInQuestion; ++i)
        text += GetFileNameWithExt(m_list.RowPath(rows[i])) + QLatin1Char('\n');
    if (rows.size() > kMaxNamesInQuestion)
        text += QStringLiteral("<...more files...>\n");
    return text;
}

bool JobRows::DeleteCheckedRows()
{
    const QList<int> rows = CheckedRows();
    if (rows.isEmpty())
        return false;
    if (XMessageBox(DeleteQuestion(rows), Lang::Get(QStringLiteral("IDS_MESSAGEBOX_INFO")), MB_YESNO | MB_ICONQUESTION)
        != IDYES)
        return false;
    UpdateLock lock(&m_list);
    for (int i = int(rows.size()) - 1; i >= 0; --i) {
        m_lastRuns.remove(m_list.RowPath(rows[i]));
        m_list.RemoveRow(rows[i]);
    }
    return true;
}

void JobRows::ShowRowStatus(int row, RowStatus status)
{
    if (row < 0 || row >= m_list.RowCount())
        return;
    m_list.SetRowStatusCode(row, status);
    m_list.SetItemText(row, 2, RowStatusText(int(status)).left(99));
    m_list.SetStatusTip(row, StatusTip(status, RowLastRun(row)));
}

void JobRows::ShowRowFailed(int row, const Reason &reason)
{
    if (row < 0 || row >= m_list.RowCount())
        return;
    m_lastRuns.insert(m_list.RowPath(row), LastRun::Failed(reason));
    ShowRowStatus(row, RowStatus::Failed);
}

QString JobRows::StatusTip(RowStatus status, const LastRun &last)
{
    switch (last.end) {
    case LastRun::End::None: break;
    case LastRun::End::Failed:
        if (status == RowStatus::Failed)
            return ReasonText(last.reason);
        return Lang::Get(QStringLiteral("IDS_LAST_RUN_FAILED")).arg(ReasonText(last.reason));
    case LastRun::End::Converted:
        if (!last.output.isEmpty())
            return Lang::Get(QStringLiteral("IDS_LAST_RUN_CONVERTED")).arg(QDir::toNativeSeparators(last.output));
        break;
    }
    return {};
}

void JobRows::ShowAllWaiting()
{
    for (int row = 0; row < m_list.RowCount(); ++row)
        ShowRowStatus(row, RowStatus::Waiting);
}

void JobRows::ShowFileEnd(const FileEnd &end)
{
    // Rows stay where they were while a run is active, but a moved one is still found.
    const int row = m_list.RowPath(end.row) == end.sourcePath ? end.row : m_list.FindRow(end.sourcePath);
    if (row < 0)
        return;
    switch (end.outcome) {
    case Outcome::Done:
        m_list.SetChecked(row, false);
        m_lastRuns.insert(m_list.RowPath(row), LastRun::Converted(end.outputPath));
        ShowRowStatus(row, RowStatus::Complete);
        break;
    case Outcome::Failed:
        m_list.SetChecked(row, false);
        ShowRowFailed(row, end.reason);
        break;
    case Outcome::Cancelled:
    case Outcome::Stopped: ShowRowStatus(row, RowStatus::Waiting); break;
    }
}

LastRun JobRows::RowLastRun(int row) const { return m_lastRuns.value(m_list.RowPath(row)); }

QList<int> JobRows::CheckedRows() const
{
    QList<int> rows;
    for (int row = m_list.NextChecked(-1); row >= 0; row = m_list.NextChecked(row))
        rows << row;
    return rows;
}

void JobRows::RemoveRowsOf(const QList<FileEnd> &files)
{
    UpdateLock lock(&m_list);
    for (const FileEnd &file : files) {
        if (const int row = m_list.FindRow(file.sourcePath); row >= 0) {
            m_lastRuns.remove(m_list.RowPath(row));
            m_list.RemoveRow(row);
        }
    }
}
