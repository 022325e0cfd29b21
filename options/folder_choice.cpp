#include "options/folder_choice.h"

#include "platform/native_name.h"
#include "shell/lang.h"
#include "shell/output_folder.h"

#include <QFileDialog>

namespace {

FolderBrowser &Browser()
{
    static FolderBrowser browser;
    return browser;
}

QString AskPerson(QWidget *owner, const QString &startFolder)
{
    return QFileDialog::getExistingDirectory(owner, Lang::Get("IDS_OPT_SAVEFOLDER"), startFolder,
                                             QFileDialog::ShowDirsOnly);
}

} // namespace

std::optional<QString> BrowseForFolder(QWidget *owner, const QString &startFolder)
{
    const FolderBrowser &browser = Browser();
    const QString picked = platform::NameOnDisk(browser ? browser(owner, startFolder) : AskPerson(owner, startFolder));
    const OutputFolder folder(picked);
    if (!folder.IsValid() || folder.Text().size() > kMaxSaveFolderChars)
        return std::nullopt;
    return folder.Text();
}

void SetFolderBrowser(FolderBrowser browser) { Browser() = std::move(browser); }

ScriptedFolderBrowser::ScriptedFolderBrowser(QList<QString> answers)
    : m_answers(std::move(answers))
{
    SetFolderBrowser([this](QWidget *, const QString &startFolder) {
        m_startFolders.append(startFolder);
        return m_answers.isEmpty() ? QString() : m_answers.takeFirst();
    });
}

ScriptedFolderBrowser::~ScriptedFolderBrowser() { SetFolderBrowser(nullptr); }
