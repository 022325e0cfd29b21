#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGINT, SIGTERM and SIGHUP into a Qt signal on the main thread: the handler only
// writes the signal's number to a pipe, which a socket notifier reads, so that a conversion
// in work is cancelled by the event loop, never ended from inside a handler. One at a time;
// the default actions come back when it goes.
class InterruptWatch : public QObject {
    Q_OBJECT
public:
    explicit InterruptWatch(QObject *parent = nullptr);
    ~InterruptWatch() override;

    // False when the pipe could not be made: the signals keep their default actions.
    bool IsWatching() const { return m_notifier != nullptr; }

signals:
    void interrupted(int signalNumber);

private:
    void OnReadable();

    QSocketNotifier *m_notifier = nullptr;
};
