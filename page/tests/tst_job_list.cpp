// The job list as both pages show it: the model's rows and ids, the view's check boxes, header
// box and colours, files dropped from outside, and rows moved by a real drag. The drags run in
// a child process on a virtual X server of the test's own (the offscreen platform drops every
// drag at once), bare or under a window manager, with the window at several places and at a
// device pixel ratio of 1 and 2.

#define QTEST_QPA_MOUSE_HANDLING // mouse events pass through the window system, as a drag's must
#include "page/job_list_model.h"
#include "shell/app_paths.h"
#include "widgets/file_list_ctrl.h"
#include "widgets/file_list_header.h"

#include <QApplication>
#include <QGuiApplication>
#include <QMimeData>
#include <QProcess>
#include <QSignalSpy>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <xcb/xcb.h>

namespace {
// A list set up the way the pages set theirs up (smaller), placed inside a window.
struct List {
    JobListModel model;
    QWidget window;
    FileListCtrl &ctrl = *new FileListCtrl(&window);

    explicit List(int rows = 0, QSize size = {640, 200})
    {
        ctrl.setModel(&model);
        model.SetColumnTitles({"Name", "Size", "Status"});
        const int side = (size.width() - 4) / 5;
        for (int column = 0; column < 3; ++column)
            ctrl.setColumnWidth(column, column == 0 ? side * 3 : side);
        ctrl.setShowGrid(true);
        ctrl.SetFullRowSelect(true);
        ctrl.SetMultipleSelection(true);
        ctrl.SetRowFont(0, 14, 0, QStringLiteral("DejaVu Sans"));
        ctrl.SetHeaderFont(0, 14, 400, QStringLiteral("DejaVu Sans"));
        ctrl.setGeometry(QRect(QPoint(), size));
        window.resize(size);
        for (int i = 0; i < rows; ++i)
            model.Append({{Path(i), true, RowStatus(i % 5), {}}});
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
    }

    static QString Path(int i) { return QStringLiteral("/media/in/clip %1 'é'.avi").arg(i); }

    QWidget *Rows() const { return ctrl.viewport(); }
    QRect RowRect(int row) const { return ctrl.visualRect(model.index(row, 1)); }
    QPoint RowCentre(int row) const { return RowRect(row).center(); }
    int Id(int row) const { return model.IdAt(row); }

    QPoint CheckBoxCentre(int row) const
    {
        QStyleOptionViewItem opt;
        opt.initFrom(ctrl.viewport());
        opt.rect = ctrl.visualRect(model.index(row, 0));
        opt.features = QStyleOptionViewItem::HasCheckIndicator | QStyleOptionViewItem::HasDecoration
                       | QStyleOptionViewItem::HasDisplay;
        opt.decorationSize = ctrl.iconSize();
        return ctrl.style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &opt, &ctrl).center();
    }

    // Row numbers as originally appended, read back from the paths.
    QList<int> Order() const
    {
        QList<int> order;
        for (int row = 0; row < model.RowCount(); ++row)
            order.append(model.At(row).path.section(QLatin1Char(' '), 1, 1).toInt());
        return order;
    }
};

// Where the X server has the window's top left, in device pixels. A drag finds its target by
// the server's idea, which Qt (and so the test's mouse) learns of a window manager's placing
// only afterwards.
QPoint ServerOrigin(const QWidget &window)
{
    xcb_connection_t *x = qGuiApp->nativeInterface<QNativeInterface::QX11Application>()->connection();
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(x)).data->root;
    const std::unique_ptr<xcb_translate_coordinates_reply_t, decltype(&std::free)> reply(
        xcb_translate_coordinates_reply(x, xcb_translate_coordinates(x, window.winId(), root, 0, 0), nullptr),
        std::free);
    return reply ? QPoint(reply->dst_x, reply->dst_y) : QPoint(-1, -1);
}

// In the child: selects the row, drags it with real mouse events to a place (above or below the
// middle of a row, under the rows, or outside the window) and prints the rows' order. A drag
// runs its own event loop until the button is released, so the moves that follow its start are
// queued before it starts.
int DragChild(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QStringList a = app.arguments(); // --drag x y from onto place setup
    List l(5, {230, 200});
    // A window manager places the window at its own pace: the drag waits until the server and
    // Qt both have it where it was asked to be.
    const QPoint at(a[2].toInt(), a[3].toInt());
    l.window.move(at);
    const qreal ratio = l.window.devicePixelRatioF();
    if (!QTest::qWaitFor(
            [&] { return l.window.pos() == at && ServerOrigin(l.window) == l.window.mapToGlobal(QPoint()) * ratio; }))
        std::fprintf(stderr, "the window stays at (%d, %d)\n", l.window.x(), l.window.y());
    const QString place = a[6], setup = a[7];
    l.ctrl.SetDragAllowed(setup != "not allowed");
    l.model.LockOrder(setup == "order locked");
    const int fromRow = a[4].toInt();
    const QPoint from = l.RowCentre(fromRow);
    const QRect onto = l.RowRect(a[5].toInt());
    const QPoint to = place == "above"       ? onto.center() - QPoint(0, onto.height() / 4)
                      : place == "below"     ? onto.center() + QPoint(0, onto.height() / 4)
                      : place == "under all" ? l.RowRect(4).center() + QPoint(0, 30)
                                             : QPoint(l.window.width() + 40, from.y());
    QTest::mouseClick(l.Rows(), Qt::LeftButton, {}, from);
    if (setup == "two selected")
        QTest::mouseClick(l.Rows(), Qt::LeftButton, Qt::ControlModifier, l.RowCentre(fromRow + 1));
    QTest::mousePress(l.Rows(), Qt::LeftButton, {}, from);
    QTest::mouseMove(l.Rows(), from + QPoint(0, 2));
    QTimer::singleShot(0, l.Rows(), [&] {
        QTest::mouseMove(l.Rows(), to - QPoint(0, 1));
        QTest::mouseMove(l.Rows(), to);
        QTest::mouseRelease(l.Rows(), Qt::LeftButton, {}, to);
    });
    QTest::mouseMove(l.Rows(), from + QPoint(0, 24)); // starts the drag, if one may start
    QCoreApplication::processEvents();
    QStringList order;
    for (int i : l.Order())
        order << QString::number(i);
    std::printf("%s\n", qPrintable(order.join(' ')));
    return 0;
}

} // namespace

class TstJobList : public QObject {
    Q_OBJECT
private slots:
    void acceptedExtensions_data()
    {
        QTest::addColumn<QStringList>("extensions");
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("accepted");
        const QStringList avi{"avi", "mp4"};
        QTest::newRow("none listed: anything") << QStringList() << "/in/notes" << true;
        QTest::newRow("none listed: odd name") << QStringList() << "/in/a \"quoted\" name.xyz" << true;
        QTest::newRow("listed, other case") << avi << "/in/CLIP.AVI" << true;
        QTest::newRow("listed") << avi << "/in/clip.mp4" << true;
        QTest::newRow("not listed") << avi << "/in/clip.mkv" << false;
        QTest::newRow("no extension") << avi << "/in/clip" << false;
        QTest::newRow("dot in the folder only") << avi << "/in/x.avi/clip" << false;
        QTest::newRow("last extension counts") << avi << "/in/clip.avi.part" << false;
        QTest::newRow("empty path") << QStringList() << "" << false;
    }

    void acceptedExtensions()
    {
        QFETCH(QStringList, extensions);
        QFETCH(QString, path);
        QFETCH(bool, accepted);
        JobListModel model;
        model.SetAcceptedExtensions(extensions);
        QCOMPARE(model.Append({{path, true, RowStatus::Waiting, {}}}).size(), accepted ? 1 : 0);
        QCOMPARE(model.RowCount(), accepted ? 1 : 0);
        if (accepted) {
            QCOMPARE(model.At(0).path, path);
            QCOMPARE(model.index(0, JobListModel::NameColumn).data().toString(), GetFileNameWithExt(path));
        }
    }

    // Ids stay with their rows through removals and moves, are never given again, and a
    // gone id changes nothing; paths are refused twice whatever their case.
    void idsNameRowsForTheSession()
    {
        JobListModel model;
        QList<int> ids = model.Append({{List::Path(0), false, RowStatus::Waiting, {}},
                                       {"/Media/Été clip.AVI", true, RowStatus::Failed, {}},
                                       {"/media/été CLIP.avi", true, RowStatus::Waiting, {}}, // listed
                                       {List::Path(2), true, RowStatus::Waiting, {}},
                                       {List::Path(3), true, RowStatus::Waiting, {}}});
        QCOMPARE(ids.size(), 4);
        QCOMPARE(model.CheckedIds(), ids.mid(1));
        QVERIFY(model.moveRows({}, 3, 1, {}, 0));
        QCOMPARE(model.IdAt(0), ids[3]);
        QCOMPARE(model.Remove({ids[1], ids[1], 999}), 1);
        QCOMPARE(model.RowOf(ids[2]), 2);
        QCOMPARE(model.RowOf(ids[1]), -1);
        QCOMPARE(model.IdAt(3), kNoRowId);
        QVERIFY(!model.SetChecked(ids[1], false) && !model.SetStatus(ids[1], RowStatus::Complete));
        QVERIFY(!model.SetLastRun(ids[1], LastRun::Failed({})));
        QCOMPARE(model.CheckedIds(), (QList<int>{ids[3], ids[2]}));
        const QList<int> again = model.Append({{"/media/été clip.avi", true, RowStatus::Waiting, {}}});
        QCOMPARE(again.size(), 1);
        QVERIFY(!ids.contains(again[0]) && again[0] > 0);

        // A locked order refuses moves and drops; a drop names rows of its own model only.
        std::unique_ptr<QMimeData> dragged(model.mimeData({model.index(2, 0)}));
        JobListModel other;
        other.Append({{"/x.avi", true, RowStatus::Waiting, {}}});
        QVERIFY(!other.dropMimeData(dragged.get(), Qt::MoveAction, 0, 0, {}));
        model.LockOrder(true);
        QVERIFY(!model.moveRows({}, 0, 1, {}, 3) && !model.dropMimeData(dragged.get(), Qt::MoveAction, 0, 0, {}));
        QVERIFY(!(model.flags(model.index(0, 0)) & Qt::ItemIsDragEnabled));
        model.LockOrder(false);
        QVERIFY(model.dropMimeData(dragged.get(), Qt::MoveAction, 0, 0, {}));
        QCOMPARE(model.IdAt(0), ids[2]);
    }

    void headerBoxFollowsRowChecks()
    {
        List l(3);
        l.model.SetAllChecked(false);
        QSignalSpy changed(&l.model, &JobListModel::checksChanged);
        for (int row = 0; row < 3; ++row) {
            QVERIFY(!l.ctrl.Header()->AllChecked());
            QTest::mouseClick(l.Rows(), Qt::LeftButton, {}, l.CheckBoxCentre(row));
            QVERIFY(l.model.At(row).checked);
        }
        QVERIFY(l.ctrl.Header()->AllChecked());
        QCOMPARE(changed.count(), 3);

        // Space on the focused row unchecks it, whichever cell has the focus.
        QTest::mouseClick(l.Rows(), Qt::LeftButton, {}, l.RowCentre(1));
        QTest::keyClick(&l.ctrl, Qt::Key_Space);
        QVERIFY(!l.model.At(1).checked);
        QVERIFY(!l.ctrl.Header()->AllChecked());
        QCOMPARE(l.model.CheckedCount(), 2);

        l.model.SetChecked(l.Id(1), true);
        QVERIFY(l.ctrl.Header()->AllChecked());
        const QList<int> added = l.model.Append({{List::Path(7), false, RowStatus::Waiting, {}}});
        QVERIFY(!l.ctrl.Header()->AllChecked());
        l.model.Remove(added);
        QVERIFY(l.ctrl.Header()->AllChecked());
        l.model.Remove({l.Id(0), l.Id(1), l.Id(2)});
        QVERIFY(!l.ctrl.Header()->AllChecked());
    }

    void headerBoxClick_data()
    {
        QTest::addColumn<QPoint>("at");
        QTest::addColumn<bool>("checksAll");
        QTest::newRow("(12, 14)") << QPoint(12, 14) << true;
        QTest::newRow("top left corner (5, 7)") << QPoint(5, 7) << true;
        QTest::newRow("bottom right corner (19, 21)") << QPoint(19, 21) << true;
        QTest::newRow("(30, 14)") << QPoint(30, 14) << false;
        QTest::newRow("just left (4, 14)") << QPoint(4, 14) << false;
        QTest::newRow("just below (12, 22)") << QPoint(12, 22) << false;
        QTest::newRow("just right (20, 14)") << QPoint(20, 14) << false;
    }

    void headerBoxClick()
    {
        QFETCH(QPoint, at);
        QFETCH(bool, checksAll);
        List l(4);
        l.model.SetAllChecked(false);
        l.model.SetChecked(l.Id(2), true);
        QWidget *header = l.ctrl.Header()->viewport();
        QTest::mouseClick(header, Qt::LeftButton, {}, at);
        QCOMPARE(l.model.CheckedCount(), checksAll ? 4 : 1);
        QCOMPARE(l.ctrl.Header()->AllChecked(), checksAll);
        if (!checksAll)
            return;

        // The header shows the checked half of the box image where the box is drawn.
        const QImage boxes(GetResFilePath(QStringLiteral("checkboxes.bmp")));
        const int side = boxes.height();
        const QImage shot = l.ctrl.Header()->grab().toImage();
        const int top = FileListHeader::Height / 2 - side / 2 - 1;
        int compared = 0;
        for (int y = 0; y < side; ++y) {
            for (int x = 0; x < side; ++x) {
                const QColor c = boxes.pixelColor(side + x, y);
                if (c == QColor(0xFF, 0, 0xFF))
                    continue;
                QCOMPARE(shot.pixelColor(3 + x, top + y), c);
                ++compared;
            }
        }
        QVERIFY(compared > 50);
        // Away from titles and frames the header shows its background strip.
        const QImage strip(GetResFilePath(QStringLiteral("list_ctrl_title_bg.bmp")));
        QCOMPARE(shot.pixelColor(330, 12), strip.pixelColor(0, 12));

        // A second click unchecks every row.
        QTest::mouseClick(header, Qt::LeftButton, {}, at);
        QCOMPARE(l.model.CheckedCount(), 0);
        QVERIFY(!l.ctrl.Header()->AllChecked());
    }

    void statusColumnColouredByStatus()
    {
        List l(2);
        l.ctrl.clearSelection();
        l.ctrl.setCurrentIndex(QModelIndex());
        auto coloursIn = [&](int row, int column) {
            const QImage shot = l.ctrl.viewport()->grab().toImage();
            QSet<QRgb> colours;
            const QRect cell = l.ctrl.visualRect(l.model.index(row, column));
            for (int y = cell.top(); y <= cell.bottom(); ++y)
                for (int x = cell.left(); x <= cell.right(); ++x)
                    colours.insert(shot.pixel(x, y) | 0xFF000000u);
            return colours;
        };
        l.model.SetStatus(l.Id(0), RowStatus::Failed);
        l.model.SetStatus(l.Id(1), RowStatus::Converting);
        QVERIFY(coloursIn(0, 2).contains(qRgb(0xCC, 0, 0)));
        QVERIFY(!coloursIn(0, 2).contains(qRgb(0, 0, 0xCC)));
        QVERIFY(coloursIn(1, 2).contains(qRgb(0x00, 0x66, 0xFF)));
        // Other columns keep their grey whatever the status.
        QVERIFY(coloursIn(0, 1).contains(qRgb(0x63, 0x65, 0x63)));
        QVERIFY(!coloursIn(0, 1).contains(qRgb(0xCC, 0, 0)));
        l.model.SetStatus(l.Id(0), RowStatus::Complete);
        QVERIFY(coloursIn(0, 2).contains(qRgb(0xF0, 0xA9, 0x24)));
    }

    void droppedFilesReported()
    {
        List l(0);
        l.ctrl.SetAcceptFileDrops(true);
        QSignalSpy dropped(&l.ctrl, &FileListCtrl::filesDropped);
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(QStringLiteral("/in/a b.avi")), QUrl(QStringLiteral("https://x/y.avi")),
                      QUrl::fromLocalFile(QStringLiteral("/in/é.mp4"))});
        QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(l.ctrl.viewport(), &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(50, 50), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(l.ctrl.viewport(), &drop);
        QCOMPARE(dropped.count(), 1);
        QCOMPARE(dropped.at(0).at(0).toStringList(),
                 (QStringList{QStringLiteral("/in/a b.avi"), QStringLiteral("/in/é.mp4")}));
        QCOMPARE(l.model.RowCount(), 0);
    }

    void dragMovesARow_data()
    {
        QTest::addColumn<bool>("wm");
        QTest::addColumn<int>("scale");
        QTest::addColumn<QPoint>("window");
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("onto");
        QTest::addColumn<QString>("place");
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QString>("order");
        const QString ok = "allowed";
        QTest::newRow("0 below 3") << false << 1 << QPoint(0, 0) << 0 << 3 << "below" << ok << "1 2 3 0 4";
        QTest::newRow("0 above 3, moved") << false << 1 << QPoint(713, 389) << 0 << 3 << "above" << ok << "1 2 0 3 4";
        QTest::newRow("4 above 1, far") << false << 1 << QPoint(1500, 1100) << 4 << 1 << "above" << ok << "0 4 1 2 3";
        QTest::newRow("1 under the rows")
            << false << 1 << QPoint(35, 620) << 1 << 0 << "under all" << ok << "0 2 3 4 1";
        QTest::newRow("x2: 0 below 3") << false << 2 << QPoint(0, 0) << 0 << 3 << "below" << ok << "1 2 3 0 4";
        QTest::newRow("x2: 4 above 1, moved")
            << false << 2 << QPoint(411, 303) << 4 << 1 << "above" << ok << "0 4 1 2 3";
        QTest::newRow("wm: 0 below 3") << true << 1 << QPoint(0, 0) << 0 << 3 << "below" << ok << "1 2 3 0 4";
        QTest::newRow("wm: 4 above 1, far")
            << true << 1 << QPoint(1500, 1100) << 4 << 1 << "above" << ok << "0 4 1 2 3";
        QTest::newRow("wm x2: 2 below 0, far")
            << true << 2 << QPoint(900, 600) << 2 << 0 << "below" << ok << "0 2 1 3 4";
        QTest::newRow("wm x2: 1 under the rows")
            << true << 2 << QPoint(57, 211) << 1 << 0 << "under all" << ok << "0 2 3 4 1";
        QTest::newRow("2 onto its own place") << false << 1 << QPoint(40, 40) << 2 << 2 << "below" << ok << "0 1 2 3 4";
        QTest::newRow("released outside") << false << 1 << QPoint(40, 40) << 0 << 0 << "outside" << ok << "0 1 2 3 4";
        QTest::newRow("not allowed") << false << 1 << QPoint(40, 40) << 0 << 3 << "below"
                                     << "not allowed"
                                     << "0 1 2 3 4";
        QTest::newRow("order locked") << false << 1 << QPoint(40, 40) << 0 << 3 << "below"
                                      << "order locked"
                                      << "0 1 2 3 4";
        QTest::newRow("two selected") << false << 1 << QPoint(40, 40) << 0 << 3 << "below"
                                      << "two selected"
                                      << "0 1 2 3 4";
    }

    void dragMovesARow()
    {
        QFETCH(bool, wm);
        QFETCH(int, scale);
        QFETCH(QPoint, window);
        QFETCH(int, from);
        QFETCH(int, onto);
        QFETCH(QString, place);
        QFETCH(QString, setup);
        XServer &server = m_servers[wm];
        if (server.display.isEmpty())
            QVERIFY2(server.Start(wm), "no virtual X server");
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "xcb");
        env.insert("DISPLAY", server.display);
        env.insert("QT_SCALE_FACTOR", QString::number(scale));
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(QCoreApplication::applicationFilePath(),
                    {"--drag", QString::number(window.x()), QString::number(window.y()), QString::number(from),
                     QString::number(onto), place, setup});
        QVERIFY(child.waitForFinished(60000));
        QTEST(QString::fromLatin1(child.readAllStandardOutput().trimmed()), "order");
    }

private:
    // A virtual X server (its display number chosen by the server itself, so that parallel
    // tests never collide) and, with wm, a window manager managing it.
    struct XServer {
        QProcess xvfb, wm;
        QString display;

        bool Start(bool withWm)
        {
            xvfb.setStandardErrorFile(QProcess::nullDevice());
            xvfb.start("Xvfb", {"-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "2400x1800x24"});
            while (!xvfb.canReadLine()) {
                if (!xvfb.waitForReadyRead(30000))
                    return false;
            }
            display = ':' + QString::fromLatin1(xvfb.readLine().trimmed());
            if (!withWm)
                return true;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert("DISPLAY", display);
            wm.setProcessEnvironment(env);
            wm.setStandardErrorFile(QProcess::nullDevice());
            // The start-up command runs once the manager manages the screen; it may talk first.
            wm.start("openbox", {"--sm-disable", "--startup", "echo managing"});
            for (;;) {
                while (!wm.canReadLine()) {
                    if (!wm.waitForReadyRead(30000))
                        return false;
                }
                if (wm.readLine().startsWith("managing"))
                    return true;
            }
        }

        ~XServer()
        {
            for (QProcess *p : {&wm, &xvfb}) {
                p->terminate();
                p->waitForFinished(10000);
            }
        }
    };
    XServer m_servers[2];
};

int main(int argc, char **argv)
{
    if (argc > 1 && qstrcmp(argv[1], "--drag") == 0)
        return DragChild(argc, argv);
    QApplication app(argc, argv);
    TstJobList test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_job_list.moc"
