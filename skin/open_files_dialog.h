#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class QWidget;

// The add-files dialog, opened in the remembered folder (ReadCurrentFolder): the chosen paths
// (empty: cancelled). Window thread.
QStringList ChooseFilesToAdd(QWidget *owner, const QString &filter);
// Test seam for that dialog: returns the chosen paths. nullptr restores QFileDialog; returns
// the seam set before.
using OpenFilesDialog = std::function<QStringList(QWidget *owner, const QString &startFolder, const QString &filter)>;
OpenFilesDialog SetOpenFilesDialog(OpenFilesDialog dialog);
