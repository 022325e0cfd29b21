#include "page/job_rows.h"

#include "shell/app_paths.h"
#include "shell/file_intake.h"
#include "shell/lang.h"
#include "skin/message_box.h"
#include "skin/open_files_dialog.h"
#include "skin/skin_dialog.h"
#include "widgets/file_list_ctrl.h"

JobRows::JobRows(FileListCtrl &list, QString extensionsKey, QString titleKey)
    : m_list(list)
    , m_extensionsKey(std::move(extensionsKey))
    , m_titleKey(std::move(titleKey))
{
    m_model.SetIconProvider(&m_icons);
    m_list.setModel(&m_model);
}

// Three centred columns of 435, 90 and 90 pixels, grid lines, full-row multiple selection and
// 14-pixel fonts (bold header), the same on both pages.
void JobRows::Configure()
{
    const FileListTexts texts = FileListTexts::FromLang(m_extensionsKey);
    m_model.SetColumnTitles(texts.columnTitles);
    m_model.SetAcceptedExtensions(texts.extensions);
    constexpr int kWidths[] = {435, 90, 90};
    for (int column = 0; column < int(std::size(kWidths)); ++column)
        m_list.setColumnWidth(column, kWidths[column]);
    m_list.setShowGrid(true);
    m_list.SetFullRowSelect(true);
    m_list.SetMultipleSelection(true);
    m_list.SetHeaderFont(0, 14, 700, texts.fontFace);
    m_list.SetRowFont(0, 14, 0, texts.fontFace);
}

int JobRows::AddFiles(const QStringList &paths)
{
    const IntakeResult result = AddFilesInOrder(paths, [this](const QString &path) {
        return !m_model.Append({{path, true, RowStatus::Waiting, {}}}).isEmpty();
    });
    if (!result.refusedPath.isEmpty())
        XMessageBox(
            Lang::Get(QStringLiteral("IDS_MESSAGEBOX_FILE_SUPPORT")).arg(GetFileNameWithExt(result.refusedPath)),
            Lang::Get(QStringLiteral("IDS_MESSAGEBOX_INFO")), MB_ICONQUESTION);
    return result.added;
}

QString JobRows::DialogFilter() const
{
    return ExtensionDialogFilter(Lang::Get(m_titleKey), ParseExtensionList(Lang::Get(m_extensionsKey)));
}

int JobRows::AddThroughDialog(QWidget *owner) { return AddFiles(ChooseFilesToAdd(owner, DialogFilter())); }

QString JobRows::DeleteQuestion(const QList<int> &ids) const
{
    QString text = Lang::Get(QStringLiteral("IDS_MESSAGEBOX_DELETE")) + QStringLiteral("\n\n");
    for (int i = 0; i < ids.size() && i < kMaxNamesInQuestion; ++i) {
        if (const JobRow *row = m_model.Find(ids[i]))
            text += GetFileNameWithExt(row->path) + QLatin1Char('\n');
    }
    if (ids.size() > kMaxNamesInQuestion)
        text += QStringLiteral("<...more files...>\n");
    return text;
}

bool JobRows::DeleteCheckedRows()
{
    const QList<int> ids = m_model.CheckedIds();
    if (ids.isEmpty())
        return false;
    if (XMessageBox(DeleteQuestion(ids), Lang::Get(QStringLiteral("IDS_MESSAGEBOX_INFO")), MB_YESNO | MB_ICONQUESTION)
        != IDYES)
        return false;
    UpdateLock lock(&m_list);
    m_model.Remove(ids);
    return true;
}

void JobRows::ShowFileEnd(const FileEnd &end)
{
    switch (end.outcome) {
    case Outcome::Done:
    case Outcome::Failed:
        if (!m_model.SetChecked(end.id, false))
            return;
        m_model.SetLastRun(end.id, end.outcome == Outcome::Done ? LastRun::Converted(end.outputPath)
                                                                : LastRun::Failed(end.reason));
        m_model.SetStatus(end.id, end.outcome == Outcome::Done ? RowStatus::Complete : RowStatus::Failed);
        break;
    case Outcome::Cancelled:
    case Outcome::Stopped: m_model.SetStatus(end.id, RowStatus::Waiting); break;
    }
}

void JobRows::RemoveRowsOf(const QList<FileEnd> &files)
{
    QList<int> ids;
    for (const FileEnd &file : files)
        ids << file.id;
    m_model.Remove(ids);
}
