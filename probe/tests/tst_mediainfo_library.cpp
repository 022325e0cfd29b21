#include "probe/media_probe.h"
#include "probe/mediainfo_library.h"
#include "test_media.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <dlfcn.h>

namespace {

// Where the dynamic loader finds the real library, so that tests can place it elsewhere.
QString RealLibraryPath()
{
    void *module = dlopen(MediaInfoLibrary::kDefaultFileName, RTLD_NOW | RTLD_LOCAL);
    if (!module)
        return {};
    Dl_info info{};
    const bool found = dladdr(dlsym(module, "MediaInfo_New"), &info) != 0 && info.dli_fname;
    return found ? QFile::decodeName(info.dli_fname) : QString();
}

} // namespace

class TstMediaInfoLibrary : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    QString m_movie;

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_movie = m_dir.filePath("clip.mp4");
        QVERIFY(MakeMedia(TestVideoInput() + TestAudioInput()
                          + QStringList{"-c:v", "libx264", "-preset", "ultrafast", "-c:a", "aac", m_movie}));
    }

    void missingLibrary()
    {
        MediaInfoLibrary library(m_dir.filePath("nowhere/libmediainfo.so.0").toStdString());
        QCOMPARE(library.Load(), -1);
        QVERIFY(!library.IsLoaded());
        QCOMPARE(library.UseCount(), 0u);

        MediaInfoHandle mi(library);
        QVERIFY(!mi.HasHandle());
        QCOMPARE(mi.Open(m_movie), size_t(0));
        QCOMPARE(mi.Get(MediaInfoHandle::Video, 0, "Format"), QStringLiteral("Unable to load MediaInfo.dll"));
        mi.Close();

        QCOMPARE(ProbeMediaFacts(m_movie, library), MediaFacts());
    }

    // A failed load is not remembered: the library put in place later serves the next probe.
    void libraryAppearsLater()
    {
        const QString real = RealLibraryPath();
        QVERIFY(!real.isEmpty());
        const QString placed = m_dir.filePath("later/libmediainfo.so.0");
        MediaInfoLibrary library(placed.toStdString());

        QCOMPARE(ProbeMediaFacts(m_movie, library), MediaFacts());
        QVERIFY(!library.IsLoaded());

        QVERIFY(QDir().mkpath(m_dir.filePath("later")));
        QVERIFY(QFile::link(real, placed));
        const MediaFacts facts = ProbeMediaFacts(m_movie, library);
        QCOMPARE(facts.Video.Format, QStringLiteral("AVC"));
        QCOMPARE(facts.Video.Width, 160u);
        QCOMPARE(facts.Audio.Format, QStringLiteral("AAC"));
        QVERIFY(library.IsLoaded());
        QCOMPARE(library.UseCount(), 1u);
        QCOMPARE(library.UnresolvedCount(), 0);

        // Later loads only count.
        QCOMPARE(library.Load(), 1);
        QCOMPARE(library.UseCount(), 2u);
        QCOMPARE(ProbeMediaFacts(m_movie, library), facts);
        QCOMPARE(library.UseCount(), 2u);
    }

    // A library that loads but lacks the entry points is never called through them.
    void libraryWithoutEntryPoints()
    {
        MediaInfoLibrary library("libz.so.1");
        QCOMPARE(library.Load(), -1);
        QVERIFY(library.IsLoaded());
        QCOMPARE(library.UnresolvedCount(), MediaInfoLibrary::kEntryCount);
        QCOMPARE(library.UseCount(), 0u);

        MediaInfoHandle mi(library);
        QVERIFY(!mi.HasHandle());
        QCOMPARE(mi.Open(m_movie), size_t(0));
        QCOMPARE(mi.Get(MediaInfoHandle::General, 0, "CodecID"), MediaInfoLibrary::FailureText());
        QCOMPARE(ProbeMediaFacts(m_movie, library), MediaFacts());
    }

    void sharedBindingUsesTheInstalledLibrary()
    {
        MediaInfoHandle mi(MediaInfoLibrary::Shared());
        QVERIFY(mi.CanQuery());
        QVERIFY(mi.Open(m_movie) != 0);
        QCOMPARE(mi.Get(MediaInfoHandle::Video, 0, "Height"), QStringLiteral("120"));
        QCOMPARE(mi.Get(MediaInfoHandle::Audio, 1, "Format"), QString()); // no second track
        mi.Close();
    }
};

QTEST_GUILESS_MAIN(TstMediaInfoLibrary)
#include "tst_mediainfo_library.moc"
