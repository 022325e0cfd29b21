#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class QMimeData;

// What both pages' file lists read from the language file and how they take a batch of paths
// (the open-file dialog's choice or a drop). Plain rules; the pages wire them to their list,
// the dialog (skin/open_files_dialog.h) and message boxes. Window thread.

// "jpg, JPEG ,png" -> {"jpg", "jpeg", "png"}: entries trimmed, lower-case, empty ones dropped.
// A text of 200 characters or more, and an entry of 10 or more, are cut as the fixed buffers
// the list was made for would cut them.
QStringList ParseExtensionList(const QString &commaSeparated);

// Name filter for the add-files dialog: "Picture files (*.jpg *.jpeg *.png)"; "title (*)"
// when there are no extensions, as the list then takes any file.
QString ExtensionDialogFilter(const QString &title, const QStringList &extensions);

// The texts a page's file list shows: column titles, font face and accepted extensions.
struct FileListTexts {
    QStringList columnTitles;
    QString fontFace;
    QStringList extensions;

    // IDS_LIST_COL_1..3, IDS_GOPT_DEFAULT_FONT and the extension list under extensionsKey.
    static FileListTexts FromLang(const QString &extensionsKey);
};

struct IntakeResult {
    int added = 0;
    bool stoppedAtFolder = false; // a folder ends the batch silently
    QString refusedPath;          // the list refused it: show IDS_MESSAGEBOX_FILE_SUPPORT
};
// Adds a batch in order through insert, which returns whether the list took the path. The
// batch ends at the first folder or refused file; the files before it stay. Anything but a
// regular file (or a link to one) is refused without reaching insert.
IntakeResult AddFilesInOrder(const QStringList &paths, const std::function<bool(const QString &)> &insert);

// The local files among the dropped URLs, in order; none for a missing mime.
QStringList LocalFiles(const QMimeData *mime);
