#include "fifo_check.h"
#include "shell/app_paths.h"
#include "platform/native_name.h"
#include "shell/file_intake.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>
#include <sys/un.h>

#include <QMimeData>
#include <QTest>
#include <QUrl>

class TestFileIntake : public QObject {
    Q_OBJECT

private slots:
    void extensionList_data();
    void extensionList();
    void dialogFilter();
    void localFilesOfADrop();
    void onlyRegularFilesReachTheList_data();
    void onlyRegularFilesReachTheList();
};

void TestFileIntake::extensionList_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("blanks and case") << " jpg, JPEG ,png" << QStringList{"jpg", "jpeg", "png"};
    QTest::newRow("empty items") << ",mp4,, ,mkv," << QStringList{"mp4", "mkv"};
    QTest::newRow("nothing") << "" << QStringList{};
    QTest::newRow("long entry cut") << "abcdefghijkl,avi" << QStringList{"abcdefghi", "avi"};
    // 196 characters of one entry and ",mp4": the cut at 199 leaves "mp" of the last one.
    QTest::newRow("long text cut") << QString(196, 'x') + ",mp4" << QStringList{"xxxxxxxxx", "mp"};
}

void TestFileIntake::extensionList()
{
    QFETCH(QString, text);
    QFETCH(QStringList, expected);
    QCOMPARE(ParseExtensionList(text), expected);
}

void TestFileIntake::dialogFilter()
{
    QCOMPARE(ExtensionDialogFilter("Picture files", {"jpg", "png"}), QStringLiteral("Picture files (*.jpg *.png)"));
    // No list means the list takes any file, so the dialog must offer any file too.
    QCOMPARE(ExtensionDialogFilter("Files", {}), QStringLiteral("Files (*)"));
}

void TestFileIntake::localFilesOfADrop()
{
    QCOMPARE(LocalFiles(nullptr), QStringList());
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile("/tmp/a b.mp4"), QUrl("https://example.org/c.mp4"),
                  QUrl::fromLocalFile(QString::fromUtf8("/tmp/\xC3\xA9t\xC3\xA9.jpg"))});
    QCOMPARE(LocalFiles(&mime), (QStringList{"/tmp/a b.mp4", QString::fromUtf8("/tmp/\xC3\xA9t\xC3\xA9.jpg")}));

    // A file manager's drop of a name that is no UTF-8 keeps the byte percent-encoded; the list
    // takes the very file.
    QTemporaryDir dir;
    const QByteArray raw = QFile::encodeName(dir.path()) + "/caf\xe9.mp4";
    const int fd = ::open(raw.constData(), O_CREAT | O_WRONLY, 0600);
    QVERIFY(fd >= 0 && ::write(fd, QByteArray(1536, 'x').constData(), 1536) == 1536 && ::close(fd) == 0);
    mime.setUrls({QUrl("file://" + QString::fromLatin1(raw.toPercentEncoding("/")))});
    QStringList taken;
    const IntakeResult result = AddFilesInOrder(LocalFiles(&mime), [&](const QString &path) {
        taken << path;
        return platform::StatName(path).isFile;
    });
    QCOMPARE(result.added, 1);
    QCOMPARE(platform::NativeName(taken.value(0)), raw);
    QCOMPARE(FormatFileSize(taken.value(0)), QString("1.51KB")); // its row's size
    // A file dialog gives it with U+FFFD in place of the byte: the one name on disk like it,
    // and none once two look alike.
    QCOMPARE(platform::NativeName(platform::NameOnDisk(QString::fromUtf8(raw))), raw);
    QVERIFY(::close(::open(QFile::encodeName(dir.path()) + "/caf\xe8.mp4", O_CREAT | O_WRONLY, 0600)) == 0);
    QCOMPARE(platform::NameOnDisk(QString::fromUtf8(raw)), QString::fromUtf8(raw));
}

namespace {

bool MakeSocketFile(const QString &path)
{
    const QByteArray name = path.toLocal8Bit();
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (size_t(name.size()) >= sizeof address.sun_path)
        return false;
    std::copy(name.begin(), name.end(), address.sun_path);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    const bool bound = fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
    if (fd >= 0)
        ::close(fd); // the socket file stays
    return bound;
}

} // namespace

void TestFileIntake::onlyRegularFilesReachTheList_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("taken");
    QTest::newRow("FIFO named x.mp4") << "fifo" << false;
    QTest::newRow("link to a FIFO") << "link to fifo" << false;
    QTest::newRow("socket") << "socket" << false;
    QTest::newRow("device") << "device" << false;
    QTest::newRow("link to a regular file") << "link to file" << true;
}

// The list's own insert reads the size, as both pages' lists do; a FIFO must not get that far.
void TestFileIntake::onlyRegularFilesReachTheList()
{
    QFETCH(QString, kind);
    QFETCH(bool, taken);
    QTemporaryDir dir;
    const QString first = dir.filePath("first.mp4");
    QFile f(first);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("frames");
    f.close();
    const QString fifo = dir.filePath("x.mp4");
    QVERIFY(fifocheck::MakeFifo(fifo));
    QString path = dir.filePath("odd.mp4");
    if (kind == "fifo")
        path = fifo;
    else if (kind == "link to fifo")
        QVERIFY(QFile::link(fifo, path));
    else if (kind == "socket")
        QVERIFY(MakeSocketFile(path));
    else if (kind == "device")
        path = "/dev/null";
    else
        QVERIFY(QFile::link(first, path));

    QStringList inserted;
    const auto insert = [&](const QString &p) {
        inserted.append(p + " " + FormatFileSize(p));
        return true;
    };
    IntakeResult result;
    QVERIFY2(fifocheck::ReturnsWithoutOpening(fifo,
                                              [&] {
                                                  result = AddFilesInOrder({first, path, first}, insert);
                                              }),
             "the FIFO was opened");
    if (taken) {
        QCOMPARE(result.added, 3);
        QVERIFY(result.refusedPath.isEmpty());
        QCOMPARE(inserted.value(1), path + " 6 Byte");
    } else {
        QCOMPARE(result.added, 1);
        QCOMPARE(result.refusedPath, path);
        QCOMPARE(inserted, QStringList{first + " 6 Byte"});
    }
    QVERIFY(!result.stoppedAtFolder);
}

QTEST_GUILESS_MAIN(TestFileIntake)
#include "tst_file_intake.moc"
