#pragma once

// Fixtures the movie and the image page tests share: a scripted add-files dialog and a drop.

#include "shell/file_intake.h"

#include <QCoreApplication>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <QWidget>

// Answers the add-files dialog with fixed paths for its lifetime.
class ScriptedOpenDialog {
public:
    explicit ScriptedOpenDialog(QStringList paths)
    {
        SetOpenFilesDialog([this, paths](QWidget *, const QString &, const QString &filter) {
            ++calls;
            lastFilter = filter;
            return paths;
        });
    }
    ~ScriptedOpenDialog() { SetOpenFilesDialog(nullptr); }
    int calls = 0;
    QString lastFilter;
};

// Drags the paths onto the middle of target and drops them there if it accepts the drag.
inline void Drop(QWidget *target, const QStringList &paths)
{
    QMimeData mime;
    QList<QUrl> urls;
    for (const QString &p : paths)
        urls << QUrl::fromLocalFile(p);
    mime.setUrls(urls);
    const QPointF at(target->width() / 2, target->height() / 2);
    QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &enter);
    if (!enter.isAccepted())
        return;
    QDropEvent drop(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &drop);
}
