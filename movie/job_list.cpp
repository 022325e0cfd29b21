#include "movie/job_list.h"

#include "shell/app_paths.h"
#include "shell/current_folder.h"
#include "shell/lang.h"
#include "shell/message_box.h"
#include "shell/skin_dialog.h"
#include "widgets/file_list_ctrl.h"

#include <QFileDialog>
#include <QFileInfo>

namespace {

JobList::OpenFilesDialog &DialogSeam()
{
    static JobList::OpenFilesDialog dialog;
    return dialog;
}

QStringList RealOpenFilesDialog(QWidget *owner, const QString &startFolder, const QString &filter)
{
    return QFileDialog::getOpenFileNames(owner, QString(), startFolder, filter);
}

const char *const kStatusKeys[] = {
    "IDS_STATUS_POSSIBLE", "IDS_STATUS_ADD", "IDS_STATUS_CONVERT", "IDS_STATUS_FAIL",
    "IDS_STATUS_COMPLATE",
};

// The language file's extension list, entries trimmed; a text of 200 characters or more is
// cut as the fixed buffer it was made for would cut it.
QStringList SupportedExtensions()
{
    const QString text = Lang::Get(QStringLiteral("IDS_SUPPORT_FILES")).left(199);
    QStringList entries;
    for (const QString &piece : text.split(',')) {
        const QString entry = piece.trimmed().left(9);
        if (!entry.isEmpty())
            entries << entry;
    }
    return entries;
}

} // namespace

JobList::JobList(FileListCtrl &list)
    : m_list(list)
{
}

void JobList::Configure()
{
    m_list.AddColumn(Lang::Get(QStringLiteral("IDS_LIST_COL_1")), 435, Qt::AlignHCenter);
    m_list.AddColumn(Lang::Get(QStringLiteral("IDS_LIST_COL_2")), 90, Qt::AlignHCenter);
    m_list.AddColumn(Lang::Get(QStringLiteral("IDS_LIST_COL_3")), 90, Qt::AlignHCenter);
    m_list.SetCheckBoxes(true);
    m_list.SetGridLines(true);
    m_list.SetFullRowSelect(true);
    m_list.SetMultipleSelection(true);
    const QString face = Lang::Get(QStringLiteral("IDS_GOPT_DEFAULT_FONT"));
    m_list.SetHeaderFont(0, 14, 700, face);
    m_list.SetRowFont(0, 14, 0, face);
    m_list.SetStatusColors({0x666666, 0x000000, 0xFF6600, 0x0000CC, 0x24A9F0, 0, 0});
    m_list.SetAcceptedExtensions(SupportedExtensions().join(','), ',');
}

bool JobList::AddJobFile(const QString &path)
{
    if (QFileInfo(path).isDir())
        return false;
    if (!m_list.InsertFile(path, true)) {
        XMessageBoxKey(QStringLiteral("IDS_MESSAGEBOX_FILE_SUPPORT"), MB_ICONQUESTION);
        return false;
    }
    const int row = m_list.RowCount() - 1;
    m_list.SetItemText(row, 1, FormatFileSize(path));
    ShowRowStatus(row, 0);
    return true;
}

int JobList::AddJobFiles(const QStringList &paths)
{
    int added = 0;
    for (const QString &path : paths) {
        if (!AddJobFile(path))
            break;
        ++added;
    }
    return added;
}

QString JobList::StatusText(int code)
{
    if (code < 0 || code >= int(std::size(kStatusKeys)))
        return QString();
    return Lang::Get(QString::fromLatin1(kStatusKeys[code]));
}

void JobList::ShowRowStatus(int row, int code)
{
    if (row < 0 || row >= m_list.RowCount())
        return;
    m_list.SetRowStatusCode(row, code);
    m_list.SetItemText(row, 2, StatusText(code).left(99));
}

QString JobList::DialogFilter()
{
    QStringList patterns;
    for (const QString &entry : SupportedExtensions())
        patterns << "*." + entry;
    const QString description = Lang::Get(QStringLiteral("IDS_SUPPORT_VFORMAT_STR"));
    if (patterns.isEmpty())
        return description + " (*)";
    return description + " (" + patterns.join(' ') + ')';
}

int JobList::AddThroughDialog(QWidget *owner)
{
    const QString start = ReadCurrentFolder().value_or(QString());
    const OpenFilesDialog &seam = DialogSeam();
    const QStringList chosen = seam ? seam(owner, start, DialogFilter())
                                    : RealOpenFilesDialog(owner, start, DialogFilter());
    return AddJobFiles(chosen);
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
    OpenFilesDialog previous = std::move(DialogSeam());
    DialogSeam() = std::move(dialog);
    return previous;
}
