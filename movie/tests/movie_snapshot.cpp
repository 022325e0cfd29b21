// Shows the movie page, converts the given files and saves a picture of the page after a
// delay: a look at the page in the middle of a run. Not a test; run it under xvfb-run.
//   movie_snapshot OUT.png DELAY_MS [-engine=PATH] [-save=FOLDER] FILE...

#include "movie/movie_window.h"
#include "skin/message_box.h"

#include <QApplication>
#include <QScreen>
#include <QTimer>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (args.size() < 3)
        return 2;
    const QString out = args.takeFirst();
    const int delay = args.takeFirst().toInt();
    // Nobody is there to answer: every box says OK (and No to questions).
    ScriptedMessageBox box(IDOK);

    MovieWindow window(nullptr, SkinDialog::Kind::Window);
    for (const QString &a : args) {
        if (a.startsWith("-engine="))
            window.Engine().SetEnginePath(a.mid(8).toStdString());
        else if (a.startsWith("-save="))
            window.SetOutputFolder(OutputFolder(a.mid(6)));
        else
            window.Rows().AddFile(a);
    }
    window.show();
    QTimer::singleShot(200, &window, [&] { window.OnConvertCommand(); });
    QTimer::singleShot(delay, &window, [&] {
        window.grab().save(out);
        window.Run().Stop();
        app.quit();
    });
    return app.exec();
}
