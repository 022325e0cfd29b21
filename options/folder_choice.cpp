#include "options/folder_choice.h"

#include "shell/lang.h"

#include <QDir>
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

QString WithTrailingSlash(const QString &path)
{
    const QString clean = QDir::cleanPath(QDir::fromNativeSeparators(path));
    return clean.endsWith(QLatin1Char('/')) ? clean : clean + QLatin1Char('/');
}

std::optional<QString> BrowseForFolder(QWidget *owner, const QString &startFolder)
{
    const FolderBrowser &browser = Browser();
    const QString picked = browser ? browser(owner, startFolder) : AskPerson(owner, startFolder);
    if (picked.isEmpty() || !QDir::isAbsolutePath(picked))
        return std::nullopt;
    QString folder = WithTrailingSlash(picked);
    if (folder.size() > kMaxSaveFolderChars)
        return std::nullopt;
    return folder;
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
