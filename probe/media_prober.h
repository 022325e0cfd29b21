#pragma once

#include "probe/media_probe.h"

#include <QObject>
#include <QStringList>
#include <QThread>

#include <atomic>

// Probes files one after another on a thread of its own, so that MediaInfo opening a file on a
// slow disk or a network share never holds up the window thread. Lives on its owner's thread
// and hands each record back to it as a queued call, in the order asked.
class MediaProber : public QObject {
    Q_OBJECT
public:
    explicit MediaProber(QObject *parent = nullptr);
    ~MediaProber() override; // drops what is left; waits only for the file in work

    // Probes the paths in order; the records of a batch asked before stop coming.
    void Probe(const QStringList &paths);
    // No record of the batch in work comes any more.
    void Cancel() { ++m_batch; }

signals:
    // index: the path's place in the batch.
    void probed(int index, const MediaRecord &record);

private:
    QThread m_thread;
    QObject *m_worker; // lives on m_thread
    std::atomic<quint64> m_batch{0};
};
