#pragma once

// Fixtures the movie and the image page tests share: a scripted add-files dialog, a drop and
// a state folder of their own.

#include "skin/open_files_dialog.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
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

// Points XDG_STATE_HOME at an empty folder for its lifetime, so that a page built meanwhile
// finds no rows that an earlier test left behind, and leaves none to a later one.
class FreshStateFolder {
public:
    FreshStateFolder()
        : m_old(qgetenv("XDG_STATE_HOME"))
        , m_hadOld(qEnvironmentVariableIsSet("XDG_STATE_HOME"))
    {
        qputenv("XDG_STATE_HOME", QFile::encodeName(Path()));
    }
    ~FreshStateFolder()
    {
        if (m_hadOld)
            qputenv("XDG_STATE_HOME", m_old);
        else
            qunsetenv("XDG_STATE_HOME");
    }
    QString Path() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
    QByteArray m_old;
    bool m_hadOld;
};
