#pragma once

#include <QApplication>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <functional>

// Runs step on the modal dialog once its event loop is up, as a person would act on it, and
// closes the dialog after a few seconds should step leave it open, so that a test fails
// instead of hanging. Returns nothing; the caller checks what exec() returned.
template <class Dialog>
void WhenModal(std::function<void(Dialog *)> step)
{
    QTimer::singleShot(0, [step] {
        auto *dialog = qobject_cast<Dialog *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        QPointer<Dialog> guard(dialog);
        QTimer::singleShot(5000, dialog, [guard] {
            if (guard)
                guard->done(-1);
        });
        step(dialog);
    });
}
