// The installed copy: `cmake --install` of this build into a temporary prefix, then the
// installed framepress started through its link, and the launcher run from inside the installed
// folder converting a clip through the installed mencoder and a picture.

#include "app/startup.h"
#include "platform/single_instance.h"
#include "shell/file_intake.h"
#include "shell/lang.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMimeDatabase>
#include <QProcess>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using platform::SingleInstance;

namespace {

bool Run(const QString &program, const QStringList &args, QByteArray *output = nullptr, int ms = 120000)
{
    QProcess p;
    p.start(program, args);
    const bool ok = p.waitForFinished(ms) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    if (output)
        *output = p.readAllStandardOutput();
    if (!ok)
        qWarning().noquote() << program << args << p.readAllStandardError();
    return ok;
}

} // namespace

class TstInstalled : public QObject {
    Q_OBJECT

    QTemporaryDir m_prefix;
    QString m_folder; // where framepress, mencoder and res/ lie

private slots:
    void initTestCase()
    {
        QVERIFY(m_prefix.isValid());
        QVERIFY(Run(QStringLiteral(FP_CMAKE_COMMAND),
                    {"--install", QStringLiteral(FP_BUILD_DIR), "--prefix", m_prefix.path()}));
        m_folder = m_prefix.filePath("lib/framepress/");
    }

    void layout()
    {
        for (const char *program : {"framepress", "framepress-cli", "mencoder"})
            QVERIFY2(QFileInfo(m_folder + program).isExecutable(), program);
        for (const char *file : {"res/lang.opt", "res/Comm_Caption.png", "res/tab_mode_movie.png"})
            QVERIFY2(QFileInfo::exists(m_folder + file), file);
        for (const QString program : {"framepress", "framepress-cli"}) {
            const QFileInfo link(m_prefix.filePath("bin/" + program));
            QVERIFY(link.isSymLink());
            QCOMPARE(link.canonicalFilePath(), QFileInfo(m_folder + program).canonicalFilePath());
        }

        QFile desktop(m_prefix.filePath("share/applications/framepress.desktop"));
        QVERIFY(desktop.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = desktop.readAll().split('\n');
        QVERIFY(lines.contains("Exec=framepress %F"));
        QVERIFY(lines.contains("Icon=framepress"));
        QVERIFY(!QImageReader(m_prefix.filePath("share/icons/hicolor/256x256/apps/framepress.png")).read().isNull());

        // "Open with": the install refreshed the desktop database, and for every type the MIME
        // database gives an extension the lists take, xdg-mime names us.
        if (QStandardPaths::findExecutable("xdg-mime").isEmpty()
            || QStandardPaths::findExecutable("desktop-file-validate").isEmpty())
            QSKIP("desktop-file-utils and xdg-utils are not installed");
        QVERIFY(Run("desktop-file-validate", {desktop.fileName()}));
        QFile cache(m_prefix.filePath("share/applications/mimeinfo.cache"));
        QVERIFY(cache.open(QIODevice::ReadOnly) && cache.readAll().contains("\nvideo/mp4=framepress.desktop;"));
        for (const char *key : {"IDS_SUPPORT_FILES", "IDS_SUPPORT_IMAGE_FILES"}) {
            for (const QString &extension : ParseExtensionList(Lang::Get(key))) {
                for (const QMimeType &type : QMimeDatabase().mimeTypesForFileName("x." + extension)) {
                    if (type.name().startsWith("text/")) // another format's (.ts: Qt Linguist)
                        continue;
                    QByteArray handler;
                    QVERIFY(Run("env",
                                {"XDG_DATA_HOME=" + m_prefix.filePath("share"), "XDG_DATA_DIRS=" + m_prefix.path(),
                                 "xdg-mime", "query", "default", type.name()},
                                &handler));
                    QVERIFY2(handler.trimmed() == "framepress.desktop", qPrintable(type.name()));
                }
            }
        }
    }

    // Started through bin/, the program still finds its skins beside its real file (its
    // launcher exists and answers), and a second start ends at once.
    void installedProgramStartsOnce()
    {
        QProcess first;
        first.start(m_prefix.filePath("bin/framepress"), {});
        QVERIFY(first.waitForStarted(5000));
        const bool answered = SingleInstance::AskRunningInstance(kInstanceMutexName, "Framepress", 15000);
        QProcess second;
        second.start(m_prefix.filePath("bin/framepress"), {});
        const bool secondEnded = second.waitForFinished(15000) && second.exitCode() == 0;
        first.kill();
        first.waitForFinished(5000);
        QVERIFY2(answered, "the installed program showed no launcher");
        QVERIFY(secondEnded);
    }

    void installedLayoutConverts()
    {
        QTemporaryDir media;
        const QString clip = media.filePath("clip é.mp4");
        const QString picture = media.filePath("photo ü.png");
        QVERIFY(Run("ffmpeg", {"-v", "error", "-f", "lavfi", "-i", "testsrc=size=320x240:rate=25:duration=2", "-f",
                               "lavfi", "-i", "sine=frequency=440:sample_rate=44100:duration=2", "-c:v", "libx264",
                               "-preset", "ultrafast", "-c:a", "aac", clip}));
        QVERIFY(
            Run("ffmpeg", {"-v", "error", "-f", "lavfi", "-i", "testsrc=size=1600x1200", "-frames:v", "1", picture}));

        const QString check = m_folder + "installed_check";
        QFile::remove(check);
        QVERIFY(QFile::copy(QCoreApplication::applicationDirPath() + "/installed_check", check));
        QFile::setPermissions(check, QFile::permissions(check) | QFile::ExeOwner);
        QByteArray out;
        QVERIFY(Run(check, {clip, picture}, &out, 400000));

        QString movieOut, imageOut;
        for (const QByteArray &line : out.split('\n')) {
            if (line.startsWith("movie: "))
                movieOut = QString::fromUtf8(line.mid(7));
            else if (line.startsWith("image: "))
                imageOut = QString::fromUtf8(line.mid(7));
        }
        // Named after the input ("(1)" and on when an earlier run left one).
        const QString movieName = QFileInfo(movieOut).fileName(), imageName = QFileInfo(imageOut).fileName();
        QVERIFY2(movieName.startsWith("clip é") && movieName.endsWith(".mp4"), out.constData());
        QVERIFY2(imageName.startsWith("photo ü") && imageName.endsWith(".jpg"), out.constData());
        const auto cleanUp = qScopeGuard([&] {
            QFile::remove(movieOut);
            QFile::remove(imageOut);
        });

        // The movie output is an MP4 with H.264 video at the HD size and AAC audio.
        QByteArray probe;
        QVERIFY(Run("ffprobe",
                    {"-v", "error", "-show_entries", "stream=codec_name,width,height", "-of", "json", movieOut},
                    &probe));
        QStringList codecs;
        int width = 0;
        for (const QJsonValue &s : QJsonDocument::fromJson(probe).object()["streams"].toArray()) {
            codecs << s["codec_name"].toString();
            width = std::max(width, s["width"].toInt());
        }
        QCOMPARE(codecs, (QStringList{"h264", "aac"}));
        QCOMPARE(width, 1280);

        QImageReader reader(imageOut);
        QCOMPARE(reader.format(), QByteArray("jpeg"));
        const QImage converted = reader.read();
        QVERIFY(!converted.isNull());
        QVERIFY(converted.width() < 1600);

        // The program without a window, started through its link, finds them beside it too.
        QTemporaryDir cliOut;
        QVERIFY(Run(m_prefix.filePath("bin/framepress-cli"), {"--output", cliOut.path(), clip, picture}));
        QCOMPARE(QDir(cliOut.path()).entryList(QDir::Files).size(), 2);
    }
};

QTEST_GUILESS_MAIN(TstInstalled)
#include "tst_installed.moc"
