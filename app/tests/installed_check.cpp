// Copied into an installed program folder and run there by tst_installed: the real launcher,
// finding res/ and mencoder beside itself as the installed framepress does, converts a clip on
// the movie page and a picture on the image page. Prints "movie: <output>" and
// "image: <output>"; exit code 0 when both rows completed.
//   installed_check <clip> <picture>

#include "app/launcher_window.h"
#include "image/image_window.h"
#include "movie/movie_window.h"
#include "platform/power_inhibit.h"
#include "platform/shell_open.h"
#include "shell/app_paths.h"
#include "shell/lang.h"
#include "skin/image_button.h"
#include "skin/message_box.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QTextStream>

#include <cstdio>

namespace {

bool WaitFor(const std::function<bool()> &done, int ms)
{
    QDeadlineTimer deadline(ms);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    return true;
}

int Fail(const char *what)
{
    std::fprintf(stderr, "installed_check: %s\n", what);
    return 1;
}

// The newest file of the folder whose name starts with base.
QString OutputOf(const QString &folder, const QString &base)
{
    const QFileInfoList files = QDir(folder).entryInfoList({base + "*"}, QDir::Files, QDir::Time);
    return files.isEmpty() ? QString() : files.first().filePath();
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc != 3)
        return Fail("usage: installed_check <clip> <picture>");
    const QString clip = QString::fromLocal8Bit(argv[1]);
    const QString picture = QString::fromLocal8Bit(argv[2]);

    ScriptedMessageBox box(IDOK);
    platform::PowerInhibit::SetBackend([](const QString &) { return std::optional<int>(); });
    platform::SetOpenUrlHandler([](const QUrl &) { return true; });

    Lang::Start(AppPaths::Current().langFile);
    LauncherWindow launcher;
    if (!launcher.IsCreated())
        return Fail("the launcher found no caption images beside it");
    launcher.show();

    MovieWindow &movie = *launcher.MoviePage();
    if (movie.Rows().AddFiles({clip}) != 1)
        return Fail("the clip was not added");
    movie.OnConvertCommand();
    if (!WaitFor([&] { return !movie.IsRunActive(); }, 300000))
        return Fail("the movie run did not end");
    const JobListModel &movies = movie.Rows().Model(); // rows of earlier starts are kept: the clip's is the last
    if (movies.At(movies.RowCount() - 1).status != RowStatus::Complete)
        return Fail("the clip did not convert");

    if (!launcher.SwitchTo(LauncherWindow::Mode::Image))
        return Fail("image mode refused");
    ImageWindow &image = *launcher.ImagePage();
    if (image.Rows().AddFiles({picture}) != 1)
        return Fail("the picture was not added");
    image.OnConvertCommand();
    if (!WaitFor([&] { return !image.IsRunActive(); }, 120000))
        return Fail("the image run did not end");
    const JobListModel &pictures = image.Rows().Model();
    if (pictures.At(pictures.RowCount() - 1).status != RowStatus::Complete)
        return Fail("the picture did not convert");

    QTextStream out(stdout);
    out << "movie: " << OutputOf(movie.OutputFolder().Text(), QFileInfo(clip).completeBaseName()) << '\n'
        << "image: " << OutputOf(image.OutputFolder().Text(), QFileInfo(picture).completeBaseName()) << '\n';
    for (const MessageBoxQuestion &q : box.Questions())
        out << "asked: " << q.text << '\n';
    return 0;
}
