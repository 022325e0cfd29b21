// The whole window offscreen: both real pages, the real engine program on clips made by ffmpeg,
// real pictures, and only the person in front of the message box replaced.

#include "app/launcher_window.h"
#include "image/image_window.h"
#include "movie/movie_window.h"
#include "platform/power_inhibit.h"
#include "platform/shell_open.h"
#include "platform/shutdown.h"
#include "shell/app_paths.h"
#include "shell/lang.h"
#include "skin/image_button.h"
#include "skin/message_box.h"
#include "skin/tests/page_fixtures.h"
#include "widgets/file_list_ctrl.h"
#include "widgets/progress_bar_ctrl.h"

#include <QCoreApplication>
#include <QDir>
#include <QDropEvent>
#include <QImage>
#include <QMimeData>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <memory>

using Mode = LauncherWindow::Mode;

namespace {

QString T(const char *key) { return Lang::Get(QString::fromLatin1(key)); }

// A test pattern with a tone, seconds long.
bool MakeClip(const QString &path, int seconds, const QString &size = QStringLiteral("320x240"))
{
    QProcess ffmpeg;
    ffmpeg.start("ffmpeg", {"-v", "error", "-y", "-f", "lavfi", "-i",
                            QStringLiteral("testsrc=size=%1:rate=25:duration=%2").arg(size).arg(seconds), "-f", "lavfi",
                            "-i", QStringLiteral("sine=frequency=440:sample_rate=44100:duration=%1").arg(seconds),
                            "-c:v", "libx264", "-preset", "ultrafast", "-c:a", "aac", path});
    return ffmpeg.waitForFinished(60000) && ffmpeg.exitStatus() == QProcess::NormalExit && ffmpeg.exitCode() == 0;
}

bool MakePicture(const QString &path, int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, qRgb(x * 255 / width, y * 255 / height, (x ^ y) & 0xFF));
    return image.save(path, "JPEG", 90);
}

// mencoder processes that are children of this test (running or not yet reaped).
int EngineChildren()
{
    QProcess ps;
    ps.start("pgrep", {"-P", QString::number(QCoreApplication::applicationPid()), "-x", "mencoder"});
    ps.waitForFinished();
    return ps.readAllStandardOutput().count('\n');
}

// A drop as a file manager makes it: text/uri-list with CRLF line ends, names percent-encoded
// (most) or as raw UTF-8 (some). Returns whether the target took the drop.
bool DropFromFileManager(QWidget *target, const QStringList &paths, bool raw = false)
{
    QByteArray list = "# from a file manager\r\n";
    for (const QString &p : paths)
        list += (raw ? ("file://" + p).toUtf8() : QUrl::fromLocalFile(p).toEncoded()) + "\r\n";
    QMimeData mime;
    mime.setData(QStringLiteral("text/uri-list"), list);
    const QPoint at(target->width() / 2, target->height() / 2);
    QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &enter);
    if (!enter.isAccepted())
        return false;
    QDropEvent drop(QPointF(at), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &drop);
    return drop.isAccepted();
}

QStringList FilesIn(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

// A launcher with both pages on the default folders of a private home, a message box that
// answers as told and records, and no desktop, power-off or sleep lock reached.
class Launcher {
public:
    Launcher()
    {
        window = std::make_unique<LauncherWindow>();
        window->show();
        ready = window->IsCreated() && QTest::qWaitForWindowExposed(window.get());
    }
    ~Launcher()
    {
        window.reset();
        // Empties the shared output folder; the folder itself stays, as a user's would.
        QDir out(AppPaths::DefaultOutputFolder());
        for (const QString &name : FilesIn(out.path()))
            out.remove(name);
    }

    LauncherWindow &W() { return *window; }
    MovieWindow &Movie() { return *window->MoviePage(); }
    ImageWindow &Image() { return *window->ImagePage(); }
    ImageButton *ImageButtonOf(int id) { return Image().Button(id); }
    void Click(QAbstractButton *b) { QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(8, b->height() / 2)); }
    QStringList Asked() const
    {
        QStringList texts;
        for (const MessageBoxQuestion &q : box.Questions())
            texts << q.text;
        return texts;
    }
    void Answer(int answer) { box.SetAnswer(answer); }

    // Starts a movie run of the files and waits until the engine converts.
    bool StartMovieRun(const QStringList &files)
    {
        if (Movie().Rows().AddFiles(files) != files.size())
            return false;
        Click(Movie().Button(MovieWindow::kConvertId));
        return QTest::qWaitFor([&] { return Movie().Engine().IsAlive() && Movie().IsRunActive(); }, 20000);
    }
    bool StartImageRun(const QStringList &files)
    {
        Image().Rows().AddFiles(files);
        Click(ImageButtonOf(ImageWindow::kConvertId));
        return Image().IsRunActive();
    }

    ScriptedMessageBox box{IDOK};
    platform::ScopedPowerOff power{true};
    FreshStateFolder state; // no rows kept from another test's pages
    std::unique_ptr<LauncherWindow> window;
    bool ready = false;
};

} // namespace

class TstLauncherWindow : public QObject {
    Q_OBJECT

    QTemporaryDir m_media;
    QString m_shortClip;
    QString m_longClip;
    QStringList m_pictures;

private slots:
    void initTestCase()
    {
        platform::PowerInhibit::SetBackend([](const QString &) { return std::optional<int>(); });
        platform::SetOpenUrlHandler([](const QUrl &) { return true; });
        QVERIFY2(QFileInfo(GetInstallFolder() + "mencoder").isExecutable(), "mencoder is built beside the tests");
        m_shortClip = m_media.filePath("short clip.mp4");
        m_longClip = m_media.filePath("long clip.mp4");
        QVERIFY(MakeClip(m_shortClip, 2, "160x120"));
        QVERIFY(MakeClip(m_longClip, 120));
        for (int i = 0; i < 6; ++i) {
            m_pictures << m_media.filePath(QStringLiteral("photo %1.jpg").arg(i));
            QVERIFY(MakePicture(m_pictures.last(), 2400, 1800));
        }
    }

    void frameAndHeader()
    {
        Launcher l;
        QVERIFY(l.ready);
        LauncherWindow &w = l.W();
        QCOMPARE(w.ClientSize(), QSize(700, 488));
        QVERIFY(w.Logo()->geometry().right() < 700);
        for (QWidget *page : {static_cast<QWidget *>(w.MoviePage()), static_cast<QWidget *>(w.ImagePage())})
            QCOMPARE(page->geometry(), QRect(0, 44, 700, 444));

        // Movie mode first.
        QCOMPARE(w.CurrentMode(), Mode::Movie);
        QVERIFY(w.MoviePage()->isVisible());
        QVERIFY(!w.ImagePage()->isVisible());
        QCOMPARE(w.MovieTab()->State(), ImageButton::StateSelected);
        QCOMPARE(w.ImageTab()->State(), ImageButton::StateNormal);

        // The header bitmap shows between tabs and logo; the page covers everything below it,
        // down to the window's last row.
        const QImage header(GetResFilePath("convertor_middle.bmp"));
        QVERIFY(!header.isNull());
        const QImage shot = w.Client()->grab().toImage();
        QCOMPARE(shot.pixelColor(400, 20), header.pixelColor(400, 20));
        QCOMPARE(shot.pixelColor(2, 487), ColorFromRef(0x4D3620));
        QCOMPARE(shot.pixelColor(699, 470), ColorFromRef(0x4D3620));
    }

    void tabsSwitchModes()
    {
        Launcher l;
        LauncherWindow &w = l.W();
        l.Click(w.ImageTab());
        QCOMPARE(w.CurrentMode(), Mode::Image);
        QVERIFY(w.ImagePage()->isVisible());
        QVERIFY(!w.MoviePage()->isVisible());
        QCOMPARE(w.ImageTab()->State(), ImageButton::StateSelected);
        QCOMPARE(w.MovieTab()->State(), ImageButton::StateNormal);
        QVERIFY(w.SwitchTo(Mode::Image)); // the shown mode again: nothing changes
        QCOMPARE(w.CurrentMode(), Mode::Image);
        l.Click(w.MovieTab());
        QCOMPARE(w.CurrentMode(), Mode::Movie);
        QVERIFY(w.MoviePage()->isVisible());
        QVERIFY(!w.ImagePage()->isVisible());
        QVERIFY(w.updatesEnabled());
        QVERIFY(l.Asked().isEmpty());
    }

    void switchRefusedDuringMovieRun()
    {
        Launcher l;
        QVERIFY(l.StartMovieRun({m_shortClip}));
        l.Click(l.W().ImageTab());
        QCOMPARE(l.W().CurrentMode(), Mode::Movie);
        QVERIFY(l.W().MoviePage()->isVisible());
        QCOMPARE(l.Asked(), QStringList{T("IDS_MESSAGEBOX_CONVERTING")});
        QCOMPARE(l.box.Questions()[0].caption, T("IDS_MESSAGEBOX_INFO"));
        QCOMPARE(l.box.Questions()[0].style, 0x30u);

        QVERIFY(QTest::qWaitFor([&] { return !l.Movie().IsRunActive(); }, 120000));
        QCOMPARE(int(l.Movie().Rows().Model().At(0).status), 4); // complete
        l.Click(l.W().ImageTab());
        QCOMPARE(l.W().CurrentMode(), Mode::Image);
        QCOMPARE(l.Asked().count(T("IDS_MESSAGEBOX_CONVERTING")), 1);
    }

    void switchRefusedDuringImageRun()
    {
        Launcher l;
        l.W().SwitchTo(Mode::Image);
        QVERIFY(l.StartImageRun(m_pictures));
        l.Click(l.ImageButtonOf(ImageWindow::kPauseId)); // holds the run while we look
        l.Click(l.W().MovieTab());
        QCOMPARE(l.W().CurrentMode(), Mode::Image);
        QVERIFY(l.W().ImagePage()->isVisible());
        QCOMPARE(l.Asked(), QStringList{T("IDS_MESSAGEBOX_CONVERTING")});
        // Files from outside: the converting page takes none and says so, the other page its own.
        l.W().OpenFiles({m_pictures[0], m_shortClip});
        QCOMPARE(l.W().CurrentMode(), Mode::Image);
        QCOMPARE(l.Asked(), QStringList({T("IDS_MESSAGEBOX_CONVERTING"), T("IDS_MESSAGEBOX_CONVERT_NO")}));
        QCOMPARE(l.Image().Rows().Model().RowCount(), m_pictures.size());
        QCOMPARE(l.Movie().Rows().Model().RowCount(), 1);

        l.Click(l.ImageButtonOf(ImageWindow::kResumeId));
        QVERIFY(QTest::qWaitFor([&] { return !l.Image().IsRunActive(); }, 120000));
        l.Click(l.W().MovieTab());
        QCOMPARE(l.W().CurrentMode(), Mode::Movie);
        QCOMPARE(l.Asked().count(T("IDS_MESSAGEBOX_CONVERTING")), 1);
        QCOMPARE(FilesIn(l.Image().OutputFolder().Text()).size(), m_pictures.size());
    }

    void closingIdleAsksNothing_data()
    {
        QTest::addColumn<bool>("escape");
        QTest::newRow("close button") << false;
        QTest::newRow("escape") << true;
    }
    void closingIdleAsksNothing()
    {
        QFETCH(bool, escape);
        Launcher l;
        QTest::keyClick(&l.W(), Qt::Key_Return);
        QTest::keyClick(&l.W(), Qt::Key_F4);
        QTest::keyClick(&l.W(), Qt::Key_Enter);
        QVERIFY(l.W().isVisible());
        if (escape)
            QTest::keyClick(&l.Movie().List(), Qt::Key_Escape); // from inside the page
        else
            l.Click(l.W().CaptionButton("close"));
        QVERIFY(!l.W().isVisible());
        QCOMPARE(l.W().result(), int(QDialog::Accepted));
        QVERIFY(l.Asked().isEmpty());
    }

    // Closing while a file converts asks; No keeps everything going, Yes leaves no engine and
    // nothing of the unfinished output. Escape does exactly what the close button does.
    void closingDuringMovieRun_data()
    {
        QTest::addColumn<bool>("escape");
        QTest::addColumn<bool>("paused");
        QTest::newRow("close button") << false << false;
        QTest::newRow("escape") << true << false;
        QTest::newRow("close button, paused") << false << true;
    }
    void closingDuringMovieRun()
    {
        QFETCH(bool, escape);
        QFETCH(bool, paused);
        Launcher l;
        QVERIFY(l.StartMovieRun({m_longClip}));
        QVERIFY(QTest::qWaitFor([&] { return l.Movie().CurrentBar()->Position() > 0; }, 30000));
        if (paused)
            l.Click(l.Movie().Button(MovieWindow::kPauseId));
        const auto requestClose = [&] {
            if (escape)
                QTest::keyClick(&l.W(), Qt::Key_Escape);
            else
                l.Click(l.W().CaptionButton("close"));
        };

        l.Answer(IDNO);
        requestClose();
        QCOMPARE(l.Asked(), QStringList{T("IDS_MESSAGEBOX_CONVET_EXIT")});
        QCOMPARE(l.box.Questions()[0].style, 0x24u);
        QVERIFY(l.W().isVisible());
        QVERIFY(l.Movie().Engine().IsAlive());

        // Yes: the window closes once the run has ended; asking again meanwhile changes nothing.
        l.Answer(IDYES);
        requestClose();
        QVERIFY(l.W().isVisible());
        requestClose();
        QTRY_VERIFY(!l.W().isVisible());
        QCOMPARE(l.Asked().size(), 2);
        QCOMPARE(l.W().result(), int(QDialog::Accepted));
        QVERIFY(!l.Movie().Engine().IsAlive());
        QCOMPARE(EngineChildren(), 0);
        QCOMPARE(FilesIn(l.Movie().OutputFolder().Text()), QStringList());
    }

    // An image run is stopped on closing, even paused, and the window closes once it has ended:
    // it ends as stopped, nothing is asked and nothing more is converted. (The run is held
    // before its first picture, so that it cannot end by itself first; that a picture in work
    // is finished whole is the run's tests' matter.)
    void closingDuringImageRun()
    {
        Launcher l;
        l.W().SwitchTo(Mode::Image);
        QSignalSpy ended(&l.Image().Run(), &Run::runEnded);
        QObject::connect(
            &l.Image().Run(), &Run::stateChanged, &l.Image(), [&l] { l.Image().Run().Pause(); },
            Qt::SingleShotConnection);
        QVERIFY(l.StartImageRun(m_pictures));
        QTest::keyClick(&l.W(), Qt::Key_Escape);
        QTRY_VERIFY(!l.W().isVisible());
        QVERIFY(!l.Image().IsRunActive());
        QCOMPARE(ended.size(), 1);
        QCOMPARE(ended.first().first().value<RunSummary>().end, RunEnd::Stopped);
        QVERIFY(l.Asked().isEmpty());
        const QString folder = l.Image().OutputFolder().Text();
        l.window.reset();
        QCOMPARE(FilesIn(folder), QStringList());
        for (const QString &picture : m_pictures)
            QVERIFY(QFileInfo::exists(picture));
    }

    // Files come from a file manager as text/uri-list; names with spaces and non-ASCII
    // letters arrive whole, on either page and on its list. The header takes nothing.
    void dropsFromFileManager()
    {
        QTemporaryDir dir;
        const QString clip = dir.filePath("Ferien – Strand ö é.mp4");
        const QString picture = dir.filePath("Фото 1 ü.jpg");
        QVERIFY(QFile::copy(m_shortClip, clip));
        QVERIFY(QFile::copy(m_pictures[0], picture));

        Launcher l;
        QVERIFY(!DropFromFileManager(l.W().Client(), {clip}));
        QVERIFY(DropFromFileManager(l.W().MoviePage(), {clip}));
        QCOMPARE(l.Movie().Rows().Model().RowCount(), 1);
        QCOMPARE(l.Movie().Rows().Model().At(0).path, clip);
        QVERIFY(DropFromFileManager(l.Movie().List().viewport(), {m_shortClip}));
        QCOMPARE(l.Movie().Rows().Model().RowCount(), 2);

        l.W().SwitchTo(Mode::Image);
        QVERIFY(DropFromFileManager(l.Image().List().viewport(), {picture}));
        QCOMPARE(l.Image().Rows().Model().RowCount(), 1);
        QCOMPARE(l.Image().Rows().Model().At(0).path, picture);
        QVERIFY(DropFromFileManager(l.W().ImagePage(), {m_pictures[1]}));
        QCOMPARE(l.Image().Rows().Model().RowCount(), 2);
        const QString second = dir.filePath("Ñandú 2.jpg");
        QVERIFY(QFile::copy(m_pictures[0], second));
        QVERIFY(DropFromFileManager(l.Image().List().viewport(), {second}, true));
        QCOMPARE(l.Image().Rows().Model().RowCount(), 3);
        QCOMPARE(l.Image().Rows().Model().At(2).path, second);
        QCOMPARE(l.Movie().Rows().Model().RowCount(), 2);
    }

    // Files from outside (command line, a later start): each page takes its own as from a drop;
    // one no list takes goes to the first file's page, which names it and is shown.
    void openedFilesGoToTheirPages()
    {
        Launcher l;
        l.W().OpenFiles({m_pictures[0], m_shortClip, QDir::temp().filePath("notes.txt"), m_pictures[1]});
        QCOMPARE(l.W().CurrentMode(), Mode::Image);
        QCOMPARE(l.Image().Rows().Model().RowCount(), 1); // the list stops at the file it refuses
        QCOMPARE(l.Movie().Rows().Model().RowCount(), 1);
        QCOMPARE(l.Asked(), QStringList{T("IDS_MESSAGEBOX_FILE_SUPPORT").arg("notes.txt")});
    }

    void logoOpensTheHomePage()
    {
        QList<QUrl> opened;
        const auto previous = platform::SetOpenUrlHandler([&opened](const QUrl &url) {
            opened << url;
            return true;
        });
        Launcher l;
        l.Click(l.W().Logo());
        platform::SetOpenUrlHandler(previous);
        QCOMPARE(opened, QList<QUrl>{QUrl(T("IDS_GOPT_HOMEPAGE"))});
    }
};

QTEST_MAIN(TstLauncherWindow)
#include "tst_launcher_window.moc"
