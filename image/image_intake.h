#pragma once

#include <QSize>
#include <QString>
#include <QStringList>

#include <functional>

// Plain rules of the image page's intake and list commands, so that the page only wires them
// to its list and message boxes. Window thread.

// "jpg, JPEG ,png" -> {"jpg", "jpeg", "png"}: trimmed, lower-case, empty items dropped.
QStringList ParseExtensionList(const QString &commaSeparated);

// Name filter for the add-files dialog: "Picture files (*.jpg *.jpeg *.png)".
QString ImageDialogFilter(const QString &title, const QStringList &extensions);

struct IntakeResult {
    int added = 0;
    bool stoppedAtFolder = false;   // a folder ends the batch silently
    QString refusedPath;            // the list refused it: show IDS_MESSAGEBOX_FILE_SUPPORT
};
// Adds a batch (the dialog's selection or a drop) in order through insert, which returns
// whether the list took the path. The batch ends at the first folder or refused file; the
// files before it stay.
IntakeResult AddFilesInOrder(const QStringList &paths, const std::function<bool(const QString &)> &insert);

// The delete question: prompt + "\n\n", one "name\n" per checked row, at most ten, then
// "<...more files...>" when there are more.
QString DeleteQuestionText(const QString &prompt, const QStringList &checkedNames);

// The HD and SD target boxes, read once from the language file (IDS_GOPT_OUTHDIMAGE_X ...),
// each side like _wtoi: a missing or non-numeric side is 0, and a box with a 0 side fails its
// pictures rather than dividing by zero.
struct ImageBoxes {
    QSize hd;
    QSize sd;
    static ImageBoxes FromLang();
    QSize Chosen(bool hdChecked) const { return hdChecked ? hd : sd; }
};
