#include "probe/media_prober.h"

MediaProber::MediaProber(QObject *parent)
    : QObject(parent)
    , m_worker(new QObject)
{
    // The locale is set here, on the owner's thread: the prober's thread only reads it.
    MediaInfoLibrary::PrepareCharacterLocale();
    m_worker->moveToThread(&m_thread);
    connect(&m_thread, &QThread::finished, m_worker, &QObject::deleteLater);
    m_thread.start();
}

MediaProber::~MediaProber()
{
    Cancel();
    m_thread.quit();
    m_thread.wait();
}

void MediaProber::Probe(const QStringList &paths)
{
    const quint64 batch = ++m_batch;
    QMetaObject::invokeMethod(m_worker, [this, batch, paths] {
        // Prober's thread. A later batch or a cancel ends this one between two files.
        for (int i = 0; i < paths.size() && m_batch == batch; ++i) {
            const MediaRecord record = ProbeMedia(paths[i]);
            QMetaObject::invokeMethod(
                this,
                [this, batch, i, record] {
                    if (m_batch == batch)
                        emit probed(i, record);
                },
                Qt::QueuedConnection);
        }
    });
}
