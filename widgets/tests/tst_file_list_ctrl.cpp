#include "shell/app_paths.h"
#include "widgets/file_list_ctrl.h"
#include "widgets/file_list_header.h"

#include <QApplication>
#include <QLabel>
#include <QMimeData>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTest>
#include <QUrl>

namespace {
// A list set up the way the working windows set theirs up, placed inside a window.
struct List {
    QWidget window;
    FileListCtrl &ctrl = *new FileListCtrl(&window);

    explicit List(int rows = 0, int height = 200)
    {
        window.resize(700, height + 120);
        ctrl.move(28, 77);
        ctrl.AddColumn(QStringLiteral("Name"), 400, Qt::AlignHCenter);
        ctrl.AddColumn(QStringLiteral("Size"), 90, Qt::AlignHCenter);
        ctrl.AddColumn(QStringLiteral("Status"), 90, Qt::AlignHCenter);
        ctrl.SetCheckBoxes(true);
        ctrl.SetGridLines(true);
        ctrl.SetFullRowSelect(true);
        ctrl.SetMultipleSelection(true);
        ctrl.SetRowFont(0, 14, 0, QStringLiteral("DejaVu Sans"));
        ctrl.SetHeaderFont(0, 14, 400, QStringLiteral("DejaVu Sans"));
        ctrl.resize(640, height);
        for (int i = 0; i < rows; ++i) {
            QVERIFY(ctrl.InsertFile(Path(i), true));
            ctrl.SetItemText(i, 1, QStringLiteral("%1KB").arg(i));
            ctrl.SetItemText(i, 2, QStringLiteral("status %1").arg(i));
            ctrl.SetRowStatusCode(i, i % 5);
        }
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
    }

    static QString Path(int i) { return QStringLiteral("/media/in/clip %1 'é'.avi").arg(i); }

    QWidget *Rows() const { return ctrl.viewport(); }
    QPoint RowCentre(int row) const { return ctrl.visualRect(ctrl.model()->index(row, 1)).center(); }

    QPoint CheckBoxCentre(int row) const
    {
        QStyleOptionViewItem opt;
        opt.initFrom(ctrl.viewport());
        opt.rect = ctrl.visualRect(ctrl.model()->index(row, 0));
        opt.features = QStyleOptionViewItem::HasCheckIndicator | QStyleOptionViewItem::HasDecoration
                       | QStyleOptionViewItem::HasDisplay;
        opt.decorationSize = ctrl.iconSize();
        return ctrl.style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &opt, &ctrl).center();
    }

    // Row numbers as originally inserted, read back from the stored paths.
    QList<int> Order() const
    {
        QList<int> order;
        for (int row = 0; row < ctrl.RowCount(); ++row) {
            const QString path = ctrl.RowPath(row);
            const int i = path.section(QLatin1Char(' '), 1, 1).toInt();
            order.append(i);
            // Everything else about the row travelled with its path.
            if (ctrl.ItemText(row, 0) != GetFileNameWithExt(path)
                || ctrl.ItemText(row, 1) != QStringLiteral("%1KB").arg(i)
                || ctrl.ItemText(row, 2) != QStringLiteral("status %1").arg(i) || ctrl.RowStatusCode(row) != i % 5)
                order.append(-100);
        }
        return order;
    }

    void Drag(int fromRow, QPoint to)
    {
        const QPoint from = RowCentre(fromRow);
        QTest::mousePress(Rows(), Qt::LeftButton, {}, from);
        QTest::mouseMove(Rows(), from + QPoint(0, 3));
        QTest::mouseMove(Rows(), from + QPoint(0, 12));
        QTest::mouseMove(Rows(), to);
        QTest::mouseRelease(Rows(), Qt::LeftButton, {}, to);
    }
};
} // namespace

class TstFileListCtrl : public QObject {
    Q_OBJECT
private slots:
    void acceptedExtensions_data()
    {
        QTest::addColumn<QString>("extensions");
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("none listed: anything") << ""
                                               << "/in/notes" << true;
        QTest::newRow("none listed: odd name") << ""
                                               << "/in/a \"quoted\" name.xyz" << true;
        QTest::newRow("listed, other case") << "avi,mp4"
                                            << "/in/CLIP.AVI" << true;
        QTest::newRow("listed") << "avi,mp4"
                                << "/in/clip.mp4" << true;
        QTest::newRow("not listed") << "avi,mp4"
                                    << "/in/clip.mkv" << false;
        QTest::newRow("no extension") << "avi,mp4"
                                      << "/in/clip" << false;
        QTest::newRow("dot in the folder only") << "avi,mp4"
                                                << "/in/x.avi/clip" << false;
        QTest::newRow("last extension counts") << "avi,mp4"
                                               << "/in/clip.avi.part" << false;
        QTest::newRow("empty pieces skipped") << ",,avi,,mp4,"
                                              << "/in/clip.mp4" << true;
        QTest::newRow("blanks around pieces") << "avi, mp4 "
                                              << "/in/clip.mp4" << true;
        QTest::newRow("empty path") << ""
                                    << "" << false;
    }

    void acceptedExtensions()
    {
        QFETCH(QString, extensions);
        QFETCH(QString, path);
        QFETCH(bool, accepted);
        FileListCtrl list;
        list.AddColumn(QStringLiteral("Name"), 200);
        QCOMPARE(list.SetAcceptedExtensions(extensions, QLatin1Char(',')), !extensions.isEmpty());
        QCOMPARE(list.InsertFile(path, true), accepted);
        QCOMPARE(list.RowCount(), accepted ? 1 : 0);
        if (accepted) {
            QCOMPARE(list.RowPath(0), path);
            QCOMPARE(list.ItemText(0, 0), GetFileNameWithExt(path));
            QCOMPARE(list.RowStatusCode(0), 0);
        }
    }

    void duplicatesRefusedWhateverTheCase()
    {
        FileListCtrl list;
        QVERIFY(list.InsertFile(QStringLiteral("/Media/Été clip.AVI"), false));
        QVERIFY(!list.InsertFile(QStringLiteral("/media/été CLIP.avi"), true));
        QVERIFY(list.InsertFile(QStringLiteral("/media/été clip 2.avi"), true));
        QCOMPARE(list.RowCount(), 2);
        QVERIFY(!list.IsChecked(0));
        QVERIFY(list.IsChecked(1));
    }

    void rowDataFollowsRemovals()
    {
        List l(5);
        QVERIFY(l.ctrl.RemoveRow(1));
        QCOMPARE(l.Order(), (QList<int>{0, 2, 3, 4}));
        QVERIFY(l.ctrl.RemoveRow(3));
        QVERIFY(l.ctrl.RemoveRow(0));
        QCOMPARE(l.Order(), (QList<int>{2, 3}));

        // Out-of-range rows are refused and change nothing.
        QVERIFY(!l.ctrl.RemoveRow(-1));
        QVERIFY(!l.ctrl.RemoveRow(2));
        QString path = QStringLiteral("untouched");
        QVERIFY(!l.ctrl.RowPath(2, &path));
        QVERIFY(!l.ctrl.RowPath(-1, &path));
        QCOMPARE(path, QStringLiteral("untouched"));
        QVERIFY(!l.ctrl.RowPath(0, nullptr));
        QVERIFY(l.ctrl.RowPath(1, &path));
        QCOMPARE(path, List::Path(3));
        l.ctrl.SetRowStatusCode(2, 4);
        l.ctrl.SetRowStatusCode(-1, 4);
        QCOMPARE(l.Order(), (QList<int>{2, 3}));
        // A removed path can be added again.
        QVERIFY(l.ctrl.InsertFile(List::Path(0), false));
        QCOMPARE(l.ctrl.RowCount(), 3);
    }

    void headerBoxFollowsRowChecks()
    {
        List l(3);
        l.ctrl.UncheckAll();
        QSignalSpy changed(&l.ctrl, &FileListCtrl::checksChanged);
        for (int row = 0; row < 3; ++row) {
            QVERIFY(!l.ctrl.Header()->AllChecked());
            QTest::mouseClick(l.Rows(), Qt::LeftButton, {}, l.CheckBoxCentre(row));
            QVERIFY(l.ctrl.IsChecked(row));
        }
        QVERIFY(l.ctrl.Header()->AllChecked());
        QCOMPARE(changed.count(), 3);

        // Space on the focused row unchecks it, whichever cell has the focus.
        QTest::mouseClick(l.Rows(), Qt::LeftButton, {}, l.RowCentre(1));
        QTest::keyClick(&l.ctrl, Qt::Key_Space);
        QVERIFY(!l.ctrl.IsChecked(1));
        QVERIFY(!l.ctrl.Header()->AllChecked());
        QCOMPARE(l.ctrl.CheckedCount(), 2);

        l.ctrl.SetChecked(1, true);
        QVERIFY(l.ctrl.Header()->AllChecked());
        QVERIFY(l.ctrl.InsertFile(List::Path(7), false));
        QVERIFY(!l.ctrl.Header()->AllChecked());
        QVERIFY(l.ctrl.RemoveRow(3));
        QVERIFY(l.ctrl.Header()->AllChecked());
        for (int row = 2; row >= 0; --row)
            QVERIFY(l.ctrl.RemoveRow(row));
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
        l.ctrl.UncheckAll();
        l.ctrl.SetChecked(2, true);
        QWidget *header = l.ctrl.Header()->viewport();
        QTest::mouseClick(header, Qt::LeftButton, {}, at);
        QCOMPARE(l.ctrl.CheckedCount(), checksAll ? 4 : 1);
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
        QCOMPARE(l.ctrl.CheckedCount(), 0);
        QVERIFY(!l.ctrl.Header()->AllChecked());
    }

    void nextChecked()
    {
        List l(5);
        l.ctrl.UncheckAll();
        l.ctrl.SetChecked(2, true);
        QCOMPARE(l.ctrl.NextChecked(-1), 2);
        QCOMPARE(l.ctrl.NextChecked(1), 2);
        QCOMPARE(l.ctrl.NextChecked(2), -1);
        QCOMPARE(l.ctrl.NextChecked(-2), -1);
        QCOMPARE(l.ctrl.NextChecked(9), -1);
        l.ctrl.SetChecked(4, true);
        QCOMPARE(l.ctrl.NextChecked(2), 4);
        QCOMPARE(l.ctrl.CheckedCount(), 2);
        l.ctrl.SetCheckBoxes(false);
        QCOMPARE(l.ctrl.NextChecked(-1), -1);
        QCOMPARE(l.ctrl.CheckedCount(), 0);
        FileListCtrl empty;
        empty.SetCheckBoxes(true);
        QCOMPARE(empty.NextChecked(-1), -1);
    }

    void dragMovesOneRow_data()
    {
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("onto"); // -1: below the last row
        QTest::addColumn<QList<int>>("order");
        QTest::newRow("0 onto 3") << 0 << 3 << QList<int>{1, 2, 3, 0, 4};
        QTest::newRow("0 below the last row") << 0 << -1 << QList<int>{1, 2, 3, 4, 0};
        QTest::newRow("0 onto itself") << 0 << 0 << QList<int>{0, 1, 2, 3, 4};
        QTest::newRow("4 up onto 1") << 4 << 1 << QList<int>{0, 4, 1, 2, 3};
        QTest::newRow("2 onto the last") << 2 << 4 << QList<int>{0, 1, 3, 4, 2};
    }

    void dragMovesOneRow()
    {
        QFETCH(int, from);
        QFETCH(int, onto);
        QFETCH(QList<int>, order);
        List l(5, 240);
        l.ctrl.SetChecked(from, false);
        l.ctrl.SetDragAllowed(true);
        QSignalSpy moved(&l.ctrl, &FileListCtrl::rowMoved);
        const QPoint to = onto >= 0 ? l.RowCentre(onto) : l.RowCentre(4) + QPoint(0, 60);
        QVERIFY(l.ctrl.visualRect(l.ctrl.model()->index(4, 0)).bottom() < to.y() || onto >= 0);
        l.Drag(from, to);
        QCOMPARE(l.Order(), order);
        QVERIFY(!l.ctrl.IsDragging());
        const int at = order.indexOf(from);
        QVERIFY(!l.ctrl.IsChecked(at));
        QCOMPARE(l.ctrl.CheckedCount(), 4);
        if (at == from) {
            QCOMPARE(moved.count(), 0);
        } else {
            QCOMPARE(moved.count(), 1);
            QCOMPARE(moved.at(0).at(0).toInt(), from);
            QCOMPARE(moved.at(0).at(1).toInt(), at);
            QCOMPARE(l.ctrl.SelectedRows(), QList<int>{at});
        }
        QCOMPARE(QWidget::mouseGrabber(), nullptr);
    }

    void noDragWhenNotAllowed_data()
    {
        QTest::addColumn<bool>("allowed");
        QTest::addColumn<bool>("twoSelected");
        QTest::newRow("DragAllowed off") << false << false;
        QTest::newRow("two rows selected") << true << true;
    }

    void noDragWhenNotAllowed()
    {
        QFETCH(bool, allowed);
        QFETCH(bool, twoSelected);
        List l(5);
        l.ctrl.SetDragAllowed(allowed);
        QTest::mouseClick(l.Rows(), Qt::LeftButton, {}, l.RowCentre(0));
        if (twoSelected)
            QTest::mouseClick(l.Rows(), Qt::LeftButton, Qt::ControlModifier, l.RowCentre(1));
        QCOMPARE(l.ctrl.SelectedRows().size(), twoSelected ? 2 : 1);
        l.Drag(0, l.RowCentre(3));
        QVERIFY(!l.ctrl.IsDragging());
        QCOMPARE(l.Order(), (QList<int>{0, 1, 2, 3, 4}));
        if (!twoSelected)
            return;
        // The press kept both rows selected; a click without moving selects the row alone.
        QCOMPARE(l.ctrl.SelectedRows().size(), 2);
        QTest::mouseClick(l.Rows(), Qt::LeftButton, {}, l.RowCentre(1));
        QCOMPARE(l.ctrl.SelectedRows(), QList<int>{1});
    }

    void dragAbandoned()
    {
        List l(5);
        l.ctrl.SetDragAllowed(true);
        // Released outside the rows: nothing moves.
        l.Drag(0, QPoint(l.RowCentre(3).x(), -40));
        QCOMPARE(l.Order(), (QList<int>{0, 1, 2, 3, 4}));

        // Escape, or the window forbidding moves mid-drag, ends the drag without a drop.
        const QPoint from = l.RowCentre(1);
        QTest::mousePress(l.Rows(), Qt::LeftButton, {}, from);
        QTest::mouseMove(l.Rows(), from + QPoint(0, 12));
        QVERIFY(l.ctrl.IsDragging());
        QCOMPARE(l.window.findChildren<QLabel *>().size(), 1); // the drag image
        QTest::keyClick(&l.ctrl, Qt::Key_Escape);
        QVERIFY(!l.ctrl.IsDragging());
        QCOMPARE(l.window.findChildren<QLabel *>().size(), 0);
        QTest::mouseRelease(l.Rows(), Qt::LeftButton, {}, l.RowCentre(3));
        QCOMPARE(l.Order(), (QList<int>{0, 1, 2, 3, 4}));

        QTest::mousePress(l.Rows(), Qt::LeftButton, {}, from);
        QTest::mouseMove(l.Rows(), from + QPoint(0, 12));
        QVERIFY(l.ctrl.IsDragging());
        l.ctrl.SetDragAllowed(false);
        QVERIFY(!l.ctrl.IsDragging());
        QCOMPARE(QWidget::mouseGrabber(), nullptr);
        QTest::mouseRelease(l.Rows(), Qt::LeftButton, {}, l.RowCentre(3));
        QCOMPARE(l.Order(), (QList<int>{0, 1, 2, 3, 4}));
    }

    void dragScrollsAtTheEdges()
    {
        List l(30, 140);
        l.ctrl.SetDragAllowed(true);
        QScrollBar *bar = l.ctrl.verticalScrollBar();
        QCOMPARE(bar->value(), 0);
        const int rowHeight = l.ctrl.rowHeight(0);
        const int perPage = l.ctrl.viewport()->height() / rowHeight;
        QVERIFY(perPage >= 2);
        const QPoint from = l.RowCentre(0);
        QTest::mousePress(l.Rows(), Qt::LeftButton, {}, from);
        QTest::mouseMove(l.Rows(), from + QPoint(0, 12));
        QVERIFY(l.ctrl.IsDragging());
        const QPoint lastFull(from.x(), (perPage - 1) * rowHeight + rowHeight / 2);
        // Each move over the last fully shown row reveals one more row.
        for (int step = 1; step <= 3; ++step) {
            QTest::mouseMove(l.Rows(), lastFull + QPoint(step % 2, 0));
            QCOMPARE(l.ctrl.rowAt(0), step);
        }
        // Over a middle row nothing scrolls; over the top row it goes back one row.
        if (perPage > 2) {
            QTest::mouseMove(l.Rows(), QPoint(from.x(), rowHeight + rowHeight / 2));
            QCOMPARE(l.ctrl.rowAt(0), 3);
        }
        QTest::mouseMove(l.Rows(), QPoint(from.x(), rowHeight / 2));
        QCOMPARE(l.ctrl.rowAt(0), 2);
        QTest::mouseMove(l.Rows(), QPoint(from.x(), rowHeight / 2 + 1));
        QCOMPARE(l.ctrl.rowAt(0), 1);
        QTest::mouseRelease(l.Rows(), Qt::LeftButton, {}, QPoint(from.x(), rowHeight / 2 + 1));
        // Row 0 was dropped on the row shown at the top, row 1.
        QCOMPARE(l.ctrl.RowPath(1), List::Path(0));
        QCOMPARE(l.ctrl.RowPath(0), List::Path(1));
    }

    void statusColumnColouredByCode()
    {
        List l(2);
        // COLORREF 0x0000CC is red, 0xFF6600 a blue: the bytes are not swapped on the way.
        l.ctrl.SetStatusColors({0x666666, 0x000000, 0xFF6600, 0x0000CC, 0x24A9F0, 0, 0});
        l.ctrl.clearSelection();
        l.ctrl.setCurrentIndex(QModelIndex());
        l.ctrl.SetItemText(0, 2, QStringLiteral("IIIII"));
        l.ctrl.SetItemText(1, 2, QStringLiteral("IIIII"));

        auto coloursIn = [&](int row, int column) {
            const QImage shot = l.ctrl.viewport()->grab().toImage();
            QSet<QRgb> colours;
            const QRect cell = l.ctrl.visualRect(l.ctrl.model()->index(row, column));
            for (int y = cell.top(); y <= cell.bottom(); ++y)
                for (int x = cell.left(); x <= cell.right(); ++x)
                    colours.insert(shot.pixel(x, y) | 0xFF000000u);
            return colours;
        };
        l.ctrl.SetRowStatusCode(0, 3);
        l.ctrl.SetRowStatusCode(1, 2);
        QVERIFY(coloursIn(0, 2).contains(qRgb(0xCC, 0, 0)));
        QVERIFY(!coloursIn(0, 2).contains(qRgb(0, 0, 0xCC)));
        QVERIFY(coloursIn(1, 2).contains(qRgb(0x00, 0x66, 0xFF)));
        // Other columns keep their grey whatever the code.
        QVERIFY(coloursIn(0, 1).contains(qRgb(0x63, 0x65, 0x63)));
        QVERIFY(!coloursIn(0, 1).contains(qRgb(0xCC, 0, 0)));
        // A code without a colour of its own draws like the default, and the row keeps it.
        l.ctrl.SetRowStatusCode(0, 99);
        QCOMPARE(l.ctrl.RowStatusCode(0), 99);
        QVERIFY(coloursIn(0, 2).contains(qRgb(0, 0, 0)));
        l.ctrl.SetRowStatusCode(0, int(RowStatus::Complete));
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
        QCOMPARE(l.ctrl.RowCount(), 0);
    }
};

QTEST_MAIN(TstFileListCtrl)
#include "tst_file_list_ctrl.moc"
