#pragma once

#include <QList>
#include <QString>

#include <functional>
#include <optional>

class QWidget;

// The folder browser behind both options dialogs. Window thread.

// A save folder must fit the 260-character buffer it is stored in, terminator included;
// a longer one would make the stored settings unreadable.
constexpr int kMaxSaveFolderChars = 259;

// Asks the user for a folder, starting at startFolder. The chosen folder as OutputFolder shows
// it (clean, with one trailing "/"), or nullopt when the user cancelled, the answer is not an
// absolute path, or it is longer than kMaxSaveFolderChars; the caller then changes nothing.
std::optional<QString> BrowseForFolder(QWidget *owner, const QString &startFolder);

// The test seam: while a browser is set it replaces the dialog and the person answering it;
// it returns the chosen path or an empty string for Cancel. nullptr restores QFileDialog.
using FolderBrowser = std::function<QString(QWidget *owner, const QString &startFolder)>;
void SetFolderBrowser(FolderBrowser browser);

// For tests: answers the browser with the given paths in turn (then with Cancel) for its
// lifetime, and records the folder each browser was opened at.
class ScriptedFolderBrowser {
public:
    explicit ScriptedFolderBrowser(QList<QString> answers);
    ~ScriptedFolderBrowser();
    ScriptedFolderBrowser(const ScriptedFolderBrowser &) = delete;
    ScriptedFolderBrowser &operator=(const ScriptedFolderBrowser &) = delete;

    const QList<QString> &StartFolders() const { return m_startFolders; }

private:
    QList<QString> m_answers;
    QList<QString> m_startFolders;
};
