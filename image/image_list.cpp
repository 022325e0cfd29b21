#include "image/image_list.h"

#include "image/image_intake.h"
#include "shell/app_paths.h"
#include "shell/lang.h"
#include "shell/message_box.h"
#include "shell/skin_dialog.h"
#include "widgets/file_list_ctrl.h"
#include "widgets/page_list.h"

namespace {

const QString kExtensionsKey = QStringLiteral("IDS_SUPPORT_IMAGE_FILES");

} // namespace

ImageList::ImageList(FileListCtrl &list)
    : m_list(list)
{
}

void ImageList::Configure()
{
    ConfigurePageList(m_list, FileListTexts::FromLang(kExtensionsKey));
}

bool ImageList::InsertPicture(const QString &path)
{
    if (!m_list.InsertFile(path, true))
        return false;
    const int row = m_list.RowCount() - 1;
    m_list.SetItemText(row, 1, FormatFileSize(path));
    ShowRowStatus(row, RowStatus::Waiting);
    return true;
}

int ImageList::AddFiles(const QStringList &paths)
{
    const IntakeResult result = AddFilesInOrder(paths, [this](const QString &path) { return InsertPicture(path); });
    if (!result.refusedPath.isEmpty())
        XMessageBoxKey(QStringLiteral("IDS_MESSAGEBOX_FILE_SUPPORT"), MB_ICONQUESTION);
    return result.added;
}

QString ImageList::DialogFilter()
{
    return ExtensionDialogFilter(Lang::Get(QStringLiteral("IDS_SUPPORT_IFORMAT_STR")),
                                 ParseExtensionList(Lang::Get(kExtensionsKey)));
}

ImageList::OpenFilesDialog ImageList::SetOpenFilesDialog(OpenFilesDialog dialog)
{
    return ::SetOpenFilesDialog(std::move(dialog));
}

int ImageList::AddThroughDialog(QWidget *owner)
{
    return AddFiles(ChooseFilesToAdd(owner, DialogFilter()));
}

bool ImageList::DeleteCheckedRows()
{
    QList<int> rows;
    QStringList names;
    for (int row = m_list.NextChecked(-1); row >= 0; row = m_list.NextChecked(row)) {
        rows << row;
        names << GetFileNameWithExt(m_list.RowPath(row));
    }
    if (rows.isEmpty())
        return false;
    const QString question = DeleteQuestionText(Lang::Get(QStringLiteral("IDS_MESSAGEBOX_DELETE")), names);
    if (XMessageBox(question, Lang::Get(QStringLiteral("IDS_MESSAGEBOX_INFO")), MB_YESNO | MB_ICONQUESTION) != IDYES)
        return false;
    UpdateLock lock(&m_list);
    for (int i = int(rows.size()) - 1; i >= 0; --i)
        m_list.RemoveRow(rows[i]);
    return true;
}

void ImageList::ShowRowStatus(int row, RowStatus status)
{
    if (row < 0 || row >= m_list.RowCount())
        return;
    m_list.SetRowStatusCode(row, status);
    m_list.SetItemText(row, 2, RowStatusText(int(status)));
}

void ImageList::ShowAllWaiting()
{
    for (int row = 0; row < m_list.RowCount(); ++row)
        ShowRowStatus(row, RowStatus::Waiting);
}

QList<ImageBatchItem> ImageList::CheckedItems() const
{
    QList<ImageBatchItem> items;
    for (int row = m_list.NextChecked(-1); row >= 0; row = m_list.NextChecked(row)) {
        const QString path = m_list.RowPath(row);
        QString name = m_list.ItemText(row, 0);
        if (name.isEmpty())
            name = GetFileNameWithExt(path);
        items.append({row, path, name});
    }
    return items;
}

void ImageList::RemoveRowsOf(const QList<RemovedSource> &removed)
{
    UpdateLock lock(&m_list);
    for (auto it = removed.crbegin(); it != removed.crend(); ++it) {
        int row = it->row;
        if (m_list.RowPath(row) != it->sourcePath) {
            row = -1;
            for (int r = 0; r < m_list.RowCount() && row < 0; ++r) {
                if (m_list.RowPath(r) == it->sourcePath)
                    row = r;
            }
        }
        if (row >= 0)
            m_list.RemoveRow(row);
    }
}
