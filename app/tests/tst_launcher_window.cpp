#include "app/launcher_window.h"
#include "platform/shell_open.h"
#include "shell/app_paths.h"
#include "shell/image_button.h"
#include "shell/lang.h"
#include "shell/message_box.h"

#include <QTest>
#include <QUrl>

using Mode = LauncherWindow::Mode;

class TstLauncherWindow : public QObject {
    Q_OBJECT
private slots:
    void frameGeometry()
    {
        LauncherWindow w;
        QVERIFY(w.IsCreated());
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QCOMPARE(w.ClientSize(), QSize(700, 488));
        QCOMPARE(w.size(), QSize(700, 488 + w.CaptionHeight()));
        QVERIFY(w.CaptionHeight() > 0);
        QCOMPARE(w.windowTitle(), Lang::Get("IDS_APP_HAN_NAME"));
        QVERIFY(!w.windowIcon().isNull());
        QCOMPARE(w.MovieTab()->geometry(), QRect(11, 0, 99, 44));
        QCOMPARE(w.ImageTab()->geometry(), QRect(121, 0, 99, 44));
        QCOMPARE(w.Logo()->geometry().topLeft(), QPoint(579, 0));
        QCOMPARE(w.Logo()->height(), 44);
        QVERIFY(w.Logo()->geometry().right() < 700);
        QCOMPARE(w.MoviePageArea()->geometry(), QRect(0, 44, 700, 444));
        QCOMPARE(w.ImagePageArea()->geometry(), QRect(0, 44, 700, 444));
        for (ImageButton *b : {w.MovieTab(), w.ImageTab(), w.Logo()})
            QVERIFY(b->IsImageLoaded());

        // Starts in movie mode.
        QCOMPARE(w.CurrentMode(), Mode::Movie);
        QVERIFY(w.MoviePageArea()->isVisible());
        QVERIFY(!w.ImagePageArea()->isVisible());
        QCOMPARE(w.MovieTab()->State(), ImageButton::StateSelected);
        QCOMPARE(w.ImageTab()->State(), ImageButton::StateNormal);

        // The header strip is the bitmap, drawn where the tabs leave it free.
        const QImage header(GetResFilePath("convertor_middle.bmp"));
        QVERIFY(!header.isNull());
        const QImage shot = w.Client()->grab().toImage();
        QCOMPARE(shot.pixelColor(400, 20), header.pixelColor(400, 20));
        QCOMPARE(shot.pixelColor(400, 100), ColorFromRef(0x4D3620));
    }

    void tabsSwitchModes()
    {
        LauncherWindow w;
        w.show();
        QTest::mouseClick(w.ImageTab(), Qt::LeftButton);
        QCOMPARE(w.CurrentMode(), Mode::Image);
        QVERIFY(w.ImagePageArea()->isVisible());
        QVERIFY(!w.MoviePageArea()->isVisible());
        QCOMPARE(w.ImageTab()->State(), ImageButton::StateSelected);
        QCOMPARE(w.MovieTab()->State(), ImageButton::StateNormal);
        QTest::mouseClick(w.ImageTab(), Qt::LeftButton);   // the shown mode's tab does nothing
        QCOMPARE(w.CurrentMode(), Mode::Image);
        QTest::mouseClick(w.MovieTab(), Qt::LeftButton);
        QCOMPARE(w.CurrentMode(), Mode::Movie);
        QVERIFY(w.MoviePageArea()->isVisible());
        QVERIFY(!w.ImagePageArea()->isVisible());
        QVERIFY(w.updatesEnabled());   // the update lock is released
    }

    void hostedPagesFillTheirArea()
    {
        LauncherWindow w;
        auto *movie = new SkinDialog(nullptr, SkinDialog::Kind::Child);
        auto *image = new SkinDialog(nullptr, SkinDialog::Kind::Child);
        w.HostPage(Mode::Movie, movie);
        w.HostPage(Mode::Image, image);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QCOMPARE(movie->parentWidget(), w.MoviePageArea());
        QCOMPARE(movie->geometry(), QRect(0, 0, 700, 444));
        QVERIFY(movie->isVisible());
        QVERIFY(!image->isVisible());
        w.SwitchTo(Mode::Image);
        QTRY_COMPARE(image->geometry(), QRect(0, 0, 700, 444));
        QVERIFY(image->isVisible());
        QVERIFY(!movie->isVisible());
    }

    void leavingAConvertingModeIsRefused()
    {
        LauncherWindow w;
        w.show();
        bool movieBusy = true;
        w.SetConvertingQuery(Mode::Movie, [&movieBusy] { return movieBusy; });
        ScriptedMessageBox box(IDOK);
        QTest::mouseClick(w.ImageTab(), Qt::LeftButton);
        QCOMPARE(w.CurrentMode(), Mode::Movie);
        QVERIFY(w.MoviePageArea()->isVisible());
        QCOMPARE(box.Questions().size(), 1);
        QCOMPARE(box.Questions()[0].text, Lang::Get("IDS_MESSAGEBOX_CONVERTING"));
        QCOMPARE(box.Questions()[0].caption, Lang::Get("IDS_MESSAGEBOX_INFO"));
        QCOMPARE(box.Questions()[0].style, 0x30u);

        movieBusy = false;   // the run ended
        QTest::mouseClick(w.ImageTab(), Qt::LeftButton);
        QCOMPARE(w.CurrentMode(), Mode::Image);
        bool imageBusy = true;
        w.SetConvertingQuery(Mode::Image, [&imageBusy] { return imageBusy; });
        QVERIFY(!w.SwitchTo(Mode::Movie));
        QCOMPARE(w.CurrentMode(), Mode::Image);
        QCOMPARE(box.Questions().size(), 2);
    }

    void closeRequestsGoThroughTheExitProcedure()
    {
        LauncherWindow w;
        int asked = 0;
        bool mayExit = false;
        w.SetExitProcedure([&] { ++asked; return mayExit; });
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));

        QTest::keyClick(&w, Qt::Key_Return);
        QTest::keyClick(&w, Qt::Key_F4);
        QTest::keyClick(w.MoviePageArea(), Qt::Key_Enter);
        QCOMPARE(asked, 0);

        QTest::keyClick(&w, Qt::Key_Escape);
        QCOMPARE(asked, 1);
        QVERIFY(w.isVisible());
        QTest::mouseClick(w.CaptionButton("close"), Qt::LeftButton);
        QCOMPARE(asked, 2);
        QVERIFY(w.isVisible());

        mayExit = true;
        QTest::keyClick(&w, Qt::Key_Escape);
        QCOMPARE(asked, 3);
        QVERIFY(!w.isVisible());
        QCOMPARE(w.result(), int(QDialog::Accepted));
    }

    void logoOpensTheHomePage()
    {
        QList<QUrl> opened;
        const auto previous = platform::SetOpenUrlHandler([&opened](const QUrl &url) {
            opened << url;
            return true;
        });
        LauncherWindow w;
        w.show();
        QTest::mouseClick(w.Logo(), Qt::LeftButton);
        platform::SetOpenUrlHandler(previous);
        QCOMPARE(opened.size(), 1);
        QCOMPARE(opened[0], QUrl(Lang::Get("IDS_GOPT_HOMEPAGE")));
    }

    void raiseBringsItBack()
    {
        LauncherWindow w;
        w.show();
        w.showMinimized();
        w.Raise();
        QVERIFY(!w.isMinimized());
        QVERIFY(w.isVisible());
        w.hide();
        w.Raise();
        QVERIFY(w.isVisible());
    }
};

QTEST_MAIN(TstLauncherWindow)
#include "tst_launcher_window.moc"
