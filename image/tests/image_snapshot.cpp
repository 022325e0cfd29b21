// Shows the image page, converts the given pictures and saves a picture of the page after a
// delay: a look at the page in the middle of a run. Not a test; run it under xvfb-run with a
// private XDG_CONFIG_HOME, since the page stores its settings.
//   image_snapshot OUT.png DELAY_MS FILE...

#include "image/image_window.h"
#include "skin/message_box.h"
#include "widgets/file_list_ctrl.h"

#include <QApplication>
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

    ImageWindow window(nullptr, SkinDialog::Kind::Window);
    window.Rows().AddFiles(args);
    if (window.Rows().Model().RowCount() > 1)
        window.Rows().Model().SetChecked(window.Rows().Model().IdAt(1), false); // one row left out of the run
    window.show();
    QTimer::singleShot(200, &window, [&] { window.OnConvertCommand(); });
    QTimer::singleShot(delay, &window, [&] {
        window.grab().save(out);
        window.Run().Stop();
        app.quit();
    });
    return app.exec();
}
