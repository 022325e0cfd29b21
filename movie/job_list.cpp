#include "movie/job_list.h"

#include "shell/app_paths.h"
#include "shell/file_intake.h"
#include "shell/lang.h"
#include "shell/message_box.h"
#include "shell/skin_dialog.h"
#include "widgets/file_list_ctrl.h"
#include "widgets/page_list.h"

namespace {

const QString kExtensionsKey = QStringLiteral("IDS_SUPPORT_FILES");

} // namespace

JobList::JobList(FileListCtrl &list)
    : m_list(list)
{
}

void JobList::Configure()
{
    ConfigurePageList(m_list, FileListTexts::FromLang(kExtensionsKey));
}

bool JobList::AddJobFile(const QString &path)
{
    return AddJobFiles({path}) == 1;
}

int JobList::AddJobFiles(const QStringList &paths)
{
    const IntakeResult result = AddFilesInOrder(paths, [this](const QString &path) {
        if (!m_list.InsertFile(path, true))
            return false;
        const int row = m_list.RowCount() - 1;
        m_list.SetItemText(row, 1, FormatFileSize(path));
        ShowRowStatus(row, 0);
        return true;
    });
    if (!result.refusedPath.isEmpty())
        XMessageBoxKey(QStringLiteral("IDS_MESSAGEBOX_FILE_SUPPORT"), MB_ICONQUESTION);
    return result.added;
}

void JobList::ShowRowStatus(int row, int code)
{
    if (row < 0 || row >= m_list.RowCount())
        return;
    m_list.SetRowStatusCode(row, code);
    m_list.SetItemText(row, 2, RowStatusText(code).left(99));
}

QString JobList::DialogFilter()
{
    return ExtensionDialogFilter(Lang::Get(QStringLiteral("IDS_SUPPORT_VFORMAT_STR")),
                                 ParseExtensionList(Lang::Get(kExtensionsKey)));
}

int JobList::AddThroughDialog(QWidget *owner)
{
    return AddJobFiles(ChooseFilesToAdd(owner, DialogFilter()));
}

QString JobList::DeleteQuestion(const QList<int> &rows) const
{
    QString text = Lang::Get(QStringLiteral("IDS_MESSAGEBOX_DELETE")) + "\n\n";
    for (int i = 0; i < rows.size() && i < kMaxNamesInQuestion; ++i)
        text += GetFileNameWithExt(m_list.RowPath(rows[i])) + '\n';
    if (rows.size() > kMaxNamesInQuestion)
        text += QStringLiteral("<...more files...>\n");
    return text;
}

bool JobList::DeleteCheckedRows()
{
    QList<int> rows;
    for (int row = m_list.NextChecked(-1); row >= 0; row = m_list.NextChecked(row))
        rows << row;
    if (rows.isEmpty())
        return false;
    if (XMessageBox(DeleteQuestion(rows), Lang::Get(QStringLiteral("IDS_MESSAGEBOX_INFO")),
                    MB_YESNO | MB_ICONQUESTION) != IDYES)
        return false;
    UpdateLock lock(&m_list);
    for (int i = rows.size() - 1; i >= 0; --i)
        m_list.RemoveRow(rows[i]);
    return true;
}

JobList::OpenFilesDialog JobList::SetOpenFilesDialog(OpenFilesDialog dialog)
{
    return ::SetOpenFilesDialog(std::move(dialog));
}
