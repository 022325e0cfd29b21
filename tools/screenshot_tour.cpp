// Walks the real launcher through what a user sees and saves a picture of each step: the
// launcher with files listed, the movie options dialog, a movie run with a failed file and
// its reason, the run paused, the end summary and the figures after it, the image options
// dialog and an image run. For the user guide; run by tools/screenshots.sh under xvfb-run
// with a private home. Not part of the application.
//   screenshot_tour OUT_FOLDER DAMAGED_CLIP LONG_CLIP CLIP... -- PICTURE...

#include "app/launcher_window.h"
#include "image/image_window.h"
#include "movie/movie_window.h"
#include "platform/power_inhibit.h"
#include "platform/shell_open.h"
#include "shell/app_paths.h"
#include "shell/lang.h"
#include "shell/output_folder.h"
#include "skin/image_button.h"
#include "skin/message_box.h"
#include "widgets/file_list_ctrl.h"
#include "widgets/progress_bar_ctrl.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QScreen>
#include <QTimer>
#include <QToolTip>
#include <QWindow>

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

void Settle(int ms)
{
    WaitFor([] { return false; }, ms);
}

// What the screen shows of the window, as a user would see it.
bool Shoot(QWidget *window, const QString &path)
{
    Settle(300);
    const QPixmap shot = window->screen()->grabWindow(window->winId());
    const bool ok = !shot.isNull() && shot.save(path);
    std::fprintf(stderr, "%s %s\n", ok ? "saved" : "FAILED", qPrintable(path));
    return ok;
}

// Opens a modal options dialog through open(), shoots it once shown, then closes it.
bool ShootDialog(const std::function<void()> &open, const QString &path)
{
    bool ok = false;
    QTimer::singleShot(500, [&] {
        QWidget *dialog = QApplication::activeModalWidget();
        if (dialog) {
            ok = Shoot(dialog, path);
            dialog->close();
        }
    });
    open();
    return ok;
}

// Shoots the next modal box that shows, whenever that is, then closes it; *ok tells.
void ShootNextModal(const QString &path, bool *ok)
{
    auto *poll = new QTimer;
    poll->setInterval(200);
    QObject::connect(poll, &QTimer::timeout, [poll, path, ok] {
        QWidget *dialog = QApplication::activeModalWidget();
        if (!dialog)
            return;
        poll->stop();
        poll->deleteLater();
        *ok = Shoot(dialog, path);
        dialog->close();
    });
    poll->start();
}

// The window with the window manager's frame around it, as it stands on the desktop.
bool ShootFramed(QWidget *window, const QString &path)
{
    Settle(300);
    const QRect frame = window->frameGeometry();
    const QPixmap shot = window->screen()->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height());
    const bool ok = !shot.isNull() && shot.save(path);
    std::fprintf(stderr, "%s %s\n", ok ? "saved" : "FAILED", qPrintable(path));
    return ok;
}

// The movie page's six progress labels in one line.
QString MovieFigures(MovieWindow &movie)
{
    QStringList texts;
    for (int i = 0; i < 6; ++i)
        texts << movie.Label(i)->text();
    return texts.join(QStringLiteral(" | "));
}

// The screen around window, with the tooltip shown over the status cell of row.
bool ShootStatusTip(QWidget *window, FileListCtrl &list, int row, const QString &path)
{
    const QRect cell = list.visualRect(list.model()->index(row, 2));
    const QPoint at = list.viewport()->mapToGlobal(cell.center());
    QToolTip::showText(at, list.model()->index(row, 2).data(Qt::ToolTipRole).toString(), list.viewport());
    Settle(500);
    const QRect area = window->frameGeometry().adjusted(0, 0, 320, 40);
    const QPixmap shot = window->screen()->grabWindow(0, area.x(), area.y(), area.width(), area.height());
    QToolTip::hideText();
    const bool ok = !shot.isNull() && shot.save(path);
    std::fprintf(stderr, "%s %s\n", ok ? "saved" : "FAILED", qPrintable(path));
    return ok;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    const int split = args.indexOf("--");
    if (args.size() < 5 || split < 4)
        return 2;
    const QString out = OutputFolder::FromArgument(args.takeFirst()).Text();
    const QString broken = args.takeFirst();
    const QString longClip = args.takeFirst();
    const QStringList clips = args.mid(0, split - 3);
    const QStringList pictures = args.mid(split - 2);
    // Pictures that show the window in its frame, under a window manager where one runs.
    const QString shots = out + QStringLiteral("screenshots/");
    QDir().mkpath(shots);

    // Nobody answers: OK to notices, Yes to the questions the tour asks (cancel a run).
    ScriptedMessageBox box(IDYES);
    platform::PowerInhibit::SetBackend([](const QString &) { return std::optional<int>(); });
    platform::SetOpenUrlHandler([](const QUrl &) { return true; });

    Lang::Start(AppPaths::Current().langFile);
    LauncherWindow launcher;
    if (!launcher.IsCreated())
        return 1;
    launcher.move(0, 0);
    launcher.show();
    MovieWindow &movie = *launcher.MoviePage();
    ImageWindow &image = *launcher.ImagePage();
    bool ok = true;

    movie.Rows().AddFiles(QStringList{broken, longClip} + clips);
    ok &= Shoot(&launcher, out + "launcher.png");
    ok &= ShootDialog([&] { movie.OnOptionCommand(); }, out + "movie_options.png");

    // Mid-run: the damaged file has failed, the long one converts with its time left known.
    movie.OnConvertCommand();
    ok &=
        WaitFor([&] { return movie.CurrentBar()->Position() >= 20 && !movie.Label(5)->text().contains("—"); }, 120000);
    ok &= Shoot(&launcher, out + "movie_run.png");
    ok &= ShootStatusTip(&launcher, movie.List(), 0, out + "movie_failed_reason.png");
    // Paused: the figures stand as they were, however long the pause.
    movie.OnPauseCommand();
    const QString paused = MovieFigures(movie);
    Settle(5000);
    std::fprintf(stderr, "paused:     %s\nfive later: %s\n", qPrintable(paused), qPrintable(MovieFigures(movie)));
    ok &= MovieFigures(movie) == paused;
    ok &= ShootFramed(&launcher, shots + "movie_paused.png");
    movie.Run().Cancel();
    ok &= WaitFor([&] { return !movie.IsRunActive(); }, 30000);

    // The damaged file and the short clips again, to the end and its summary, which a person
    // answers: the real box shows.
    movie.Rows().Model().SetChecked(movie.Rows().Model().IdAt(0), true);
    movie.Rows().Model().SetChecked(movie.Rows().Model().IdAt(1), false);
    SetMessageBoxAnswerer(nullptr);
    bool summaryShot = false;
    ShootNextModal(out + "end_summary.png", &summaryShot);
    movie.OnConvertCommand();
    ok &= WaitFor([&] { return summaryShot; }, 120000);
    ScriptedMessageBox again(IDYES);
    ok &= WaitFor([&] { return !movie.IsRunActive(); }, 30000);
    ok &= ShootFramed(&launcher, shots + "movie_finished.png"); // its figures at their widest

    ok &= launcher.SwitchTo(LauncherWindow::Mode::Image);
    image.Rows().AddFiles(pictures);
    ok &= ShootDialog([&] { image.OnOptionCommand(); }, out + "image_options.png");
    // Paused after the third picture: the current figure is its bar's, the time left stands.
    const int third = image.Rows().Model().At(2).id;
    QObject::connect(&image.Run(), &Run::fileEnded, &image, [&image, third](const FileEnd &end) {
        if (end.id == third)
            image.OnPauseCommand();
    });
    image.OnConvertCommand();
    ok &= WaitFor([&] { return int(image.Rows().Model().At(2).status) == 4 && image.Run().IsPaused(); }, 120000);
    ok &= Shoot(&launcher, out + "image_run.png");
    ok &= ShootFramed(&launcher, shots + "image_paused.png");
    auto imageFigures = [&image] {
        QStringList texts;
        for (int id : {ImageWindow::kCurrentLabelId, ImageWindow::kTimeLabelId, ImageWindow::kTotalLabelId,
                       ImageWindow::kTimeLeftLabelId})
            texts << image.Button(id)->text();
        return texts.join(QStringLiteral(" | "));
    };
    const QString picturesPaused = imageFigures();
    Settle(3000);
    std::fprintf(stderr, "paused:      %s\nthree later: %s\n", qPrintable(picturesPaused), qPrintable(imageFigures()));
    ok &= imageFigures() == picturesPaused;
    image.Run().Stop();
    ok &= WaitFor([&] { return !image.IsRunActive(); }, 30000);

    launcher.close();
    return ok ? 0 : 1;
}
