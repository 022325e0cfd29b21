#include "skin/image_button.h"
#include "skin/skin_dialog.h"

#include <QCloseEvent>
#include <QImage>
#include <QPainter>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

const QColor kFrameColors[8] = {Qt::red,  Qt::green,   Qt::blue,      Qt::yellow,
                                Qt::cyan, Qt::darkRed, Qt::darkGreen, Qt::darkBlue};

// Frames side by side, each a solid colour, so a grab shows which frame is drawn.
QString MakeStrip(const QTemporaryDir &dir, const QString &name, int frames, int frameW, int h,
                  QImage::Format format = QImage::Format_ARGB32)
{
    QImage img(frames * frameW, h, format);
    QPainter p(&img);
    for (int i = 0; i < frames; ++i)
        p.fillRect(i * frameW, 0, frameW, h, kFrameColors[i % 8]);
    p.end();
    const QString path = dir.filePath(name);
    return img.save(path) ? path : QString();
}

QColor CenterColor(QWidget *w) { return w->grab().toImage().pixelColor(w->width() / 2, w->height() / 2); }

class RefusingDialog : public SkinDialog {
public:
    using SkinDialog::SkinDialog;
    bool allowClose = false;
    int closeRequests = 0;

protected:
    void closeEvent(QCloseEvent *e) override
    {
        ++closeRequests;
        if (allowClose)
            SkinDialog::closeEvent(e);
        else
            e->ignore();
    }
};

} // namespace

class TstSkin : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    QString m_four, m_eight, m_caption, m_button;

private slots:
    void initTestCase()
    {
        m_four = MakeStrip(m_dir, "four.png", 4, 10, 20);
        m_eight = MakeStrip(m_dir, "eight.png", 8, 12, 12);
        m_caption = MakeStrip(m_dir, "caption.png", 1, 50, 30);
        m_button = MakeStrip(m_dir, "close.png", 4, 20, 18);
        QVERIFY(!m_four.isEmpty() && !m_eight.isEmpty() && !m_caption.isEmpty() && !m_button.isEmpty());
    }

    void buttonDrawsTheFrameOfItsState()
    {
        QWidget parent;
        parent.resize(200, 100);
        ImageButton b;
        QVERIFY(b.Create(&parent, 1014, m_four, QString(), QRect(10, 10, 40, 40)));
        parent.show();
        QVERIFY(QTest::qWaitForWindowExposed(&parent));
        QCOMPARE(b.CurrentFrame(), 0);
        QCOMPARE(CenterColor(&b), QColor(Qt::red)); // frame stretched over the button
        b.setDown(true);
        QCOMPARE(CenterColor(&b), QColor(Qt::blue));
        b.setDown(false);
        b.SetState(ImageButton::StateSelected);
        QCOMPARE(CenterColor(&b), QColor(Qt::yellow));
        b.SetState(ImageButton::StateNormal);
        b.setEnabled(false);
        QCOMPARE(b.CurrentFrame(), 3);
    }

    void stateEightRefusesClicks()
    {
        QWidget parent;
        parent.resize(200, 100);
        ImageButton b;
        b.Create(&parent, 1015, m_four, "Tab", QRect(0, 0, 80, 30));
        parent.show();
        QSignalSpy clicked(&b, &QAbstractButton::clicked);
        QSignalSpy clickedId(&b, &ImageButton::clickedId);

        b.SetState(ImageButton::StateSelected);
        QVERIFY(b.RefusesClicks());
        QTest::mouseClick(&b, Qt::LeftButton);
        QTest::mouseDClick(&b, Qt::LeftButton);
        QCOMPARE(clicked.count(), 0);

        b.SetState(ImageButton::StateNormal);
        QTest::mouseClick(&b, Qt::LeftButton);
        QCOMPARE(clicked.count(), 1);
        QCOMPARE(clickedId.count(), 1);
        QCOMPARE(clickedId.first().first().toInt(), 1015);
    }

    void checkBoxAndRadioStyles()
    {
        QWidget parent;
        parent.resize(300, 100);
        ImageButton check, radioA, radioB;
        check.Create(&parent, 1, m_eight, "Power off", QRect(0, 0, 120, 20));
        check.SetButtonStyle(ImageButton::CheckBoxStyle);
        radioA.Create(&parent, 2, m_eight, "HD", QRect(0, 30, 60, 20));
        radioA.SetButtonStyle(ImageButton::RadioStyle);
        radioB.Create(&parent, 3, m_eight, "SD", QRect(80, 30, 60, 20));
        radioB.SetButtonStyle(ImageButton::RadioStyle);
        parent.show();

        QVERIFY(!check.GetCheck());
        QTest::mouseClick(&check, Qt::LeftButton);
        QVERIFY(check.GetCheck());
        QCOMPARE(check.CurrentFrame() % 4 != 3 && check.CurrentFrame() >= 4, true);
        QTest::mouseClick(&check, Qt::LeftButton);
        QVERIFY(!check.GetCheck());

        radioA.SetCheck(true);
        QTest::mouseClick(&radioB, Qt::LeftButton);
        QVERIFY(radioB.GetCheck());
        QVERIFY(!radioA.GetCheck());
        QTest::mouseClick(&radioB, Qt::LeftButton); // a checked radio stays checked
        QVERIFY(radioB.GetCheck());
        QVERIFY(check.GetCheck() == false); // radios leave the check box alone

        // The frame is drawn at its own size at the left, the text after it.
        const QImage shot = radioB.grab().toImage();
        QCOMPARE(shot.pixelColor(5, 10), kFrameColors[4]);
        QVERIFY(radioB.TextRect().left() >= 12);
        radioB.SetState(ImageButton::StateSelected);
        QCOMPARE(radioB.CurrentFrame(), 7);
    }

    void keyColourIsTransparentAndMissingImageFails()
    {
        QWidget parent;
        parent.setAutoFillBackground(true);
        QPalette pal;
        pal.setColor(QPalette::Window, Qt::white);
        parent.setPalette(pal);
        parent.resize(100, 100);
        QImage bmp(40, 20, QImage::Format_RGB32);
        bmp.fill(QColor(0xFF, 0x00, 0xFF));
        const QString path = m_dir.filePath("keyed.bmp");
        QVERIFY(bmp.save(path));
        ImageButton b;
        QVERIFY(b.Create(&parent, 1, path, QString(), QRect(0, 0, 10, 20)));
        parent.show();
        QCOMPARE(parent.grab().toImage().pixelColor(5, 10), QColor(Qt::white));

        ImageButton missing;
        QVERIFY(!missing.Create(&parent, 2, "no_such_image.png", "Text", QRect(0, 40, 50, 20)));
        QVERIFY(!missing.IsImageLoaded());
        QVERIFY(missing.isVisible());
    }

    void staticLabelIgnoresTheMouse()
    {
        QWidget parent;
        ImageButton label;
        label.CreateStatic(&parent, 7, "Total: 50%", QRect(0, 0, 100, 20));
        QSignalSpy clicked(&label, &QAbstractButton::clicked);
        parent.show();
        QTest::mouseClick(&label, Qt::LeftButton);
        QCOMPARE(clicked.count(), 0);
        QVERIFY(label.testAttribute(Qt::WA_TransparentForMouseEvents));
        label.SetWindowTextW("Total: 60%");
        QCOMPARE(label.text(), QString("Total: 60%"));
    }

    void colorRefIsBgr()
    {
        QCOMPARE(ColorFromRef(0x4D3620), QColor(0x20, 0x36, 0x4D));
        QCOMPARE(ColorFromRef(0x0000FF), QColor(Qt::red));
    }

    void captionAndClientGeometry()
    {
        SkinDialog dlg;
        QVERIFY(!dlg.SetCaptionImage("missing_caption.png", m_button, "", "", ""));
        QVERIFY(!dlg.SetCaptionImage(m_caption, "missing_close.png", "", "", ""));
        QCOMPARE(dlg.CaptionHeight(), 0);
        dlg.SetClientSize(700, 488);
        QVERIFY(dlg.SetCaptionImage(m_caption, m_button, "", m_button, ""));
        QCOMPARE(dlg.CaptionHeight(), 30);
        QCOMPARE(dlg.size(), QSize(700, 518));
        QCOMPARE(dlg.ClientSize(), QSize(700, 488));
        QCOMPARE(dlg.Client()->mapTo(&dlg, QPoint(0, 0)), QPoint(0, 30));
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        QVERIFY(dlg.CaptionButton("close")->isVisible());
        QVERIFY(dlg.CaptionButton("min")->isVisible());
        QVERIFY(!dlg.CaptionButton("max")->isVisible());
        QVERIFY(!dlg.CaptionButton("help")->isVisible());
        // Buttons sit at the right end of the strip.
        const QRect close = dlg.CaptionButton("close")->geometry();
        QVERIFY(close.right() > 650 && close.right() < 700);
        QVERIFY(dlg.CaptionButton("min")->geometry().right() < close.left());
    }

    void captionButtonsAndKeys()
    {
        RefusingDialog dlg;
        QVERIFY(dlg.SetCaptionImage(m_caption, m_button, "", m_button, ""));
        dlg.SetClientSize(300, 200);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));

        QTest::keyClick(&dlg, Qt::Key_Return);
        QTest::keyClick(&dlg, Qt::Key_Enter);
        QTest::keyClick(&dlg, Qt::Key_F4);
        QCOMPARE(dlg.closeRequests, 0);
        QVERIFY(dlg.isVisible());

        QTest::keyClick(&dlg, Qt::Key_Escape);
        QCOMPARE(dlg.closeRequests, 1);
        QVERIFY(dlg.isVisible()); // the window may refuse

        QTest::mouseClick(dlg.CaptionButton("close"), Qt::LeftButton);
        QCOMPARE(dlg.closeRequests, 2);
        dlg.allowClose = true;
        QTest::mouseClick(dlg.CaptionButton("close"), Qt::LeftButton);
        QVERIFY(!dlg.isVisible());
        QCOMPARE(dlg.result(), int(QDialog::Rejected));
    }

    void escapeInAPageReachesItsWindow()
    {
        RefusingDialog window;
        window.SetClientSize(300, 200);
        SkinDialog page(window.Client(), SkinDialog::Kind::Child);
        page.setGeometry(0, 0, 300, 200);
        QVERIFY(!page.isWindow());
        QVERIFY(!page.SetCaptionImage(m_caption, m_button, "", "", ""));
        window.show();
        page.show();
        QTest::keyClick(&page, Qt::Key_Escape);
        QCOMPARE(window.closeRequests, 1);
        QVERIFY(page.isVisible());
    }

    void dragTheCaptionMovesTheWindow()
    {
        SkinDialog dlg;
        QVERIFY(dlg.SetCaptionImage(m_caption, m_button, "", "", ""));
        dlg.SetClientSize(300, 200);
        dlg.move(100, 100);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        const QPoint before = dlg.pos();
        QWidget *strip = dlg.childAt(40, 10);
        QVERIFY(strip);
        QTest::mousePress(strip, Qt::LeftButton, {}, QPoint(40, 10));
        QTest::mouseMove(strip, QPoint(90, 40));
        QTest::mouseRelease(strip, Qt::LeftButton, {}, QPoint(90, 40));
        QTRY_COMPARE(dlg.pos(), before + QPoint(50, 30));
    }

    void lockNestsAndSleepKeepsTimersRunning()
    {
        SkinDialog dlg;
        dlg.LockWindowUpdate();
        dlg.LockWindowUpdate();
        dlg.UnlockWindowUpdate();
        QVERIFY(!dlg.updatesEnabled());
        dlg.UnlockWindowUpdate();
        QVERIFY(dlg.updatesEnabled());
        dlg.UnlockWindowUpdate(); // unbalanced unlock is harmless
        QVERIFY(dlg.updatesEnabled());
        {
            UpdateLock lock(&dlg);
            QVERIFY(!dlg.updatesEnabled());
        }
        QVERIFY(dlg.updatesEnabled());

        bool fired = false;
        QTimer::singleShot(5, [&fired] { fired = true; });
        SkinDialog::Sleep(50);
        QVERIFY(fired);
    }
};

QTEST_MAIN(TstSkin)
#include "tst_skin.moc"
