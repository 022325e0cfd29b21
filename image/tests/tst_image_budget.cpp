// An image run's memory as a whole: the budget shared by the read-ahead, decompression bombs
// that stay under the per-picture limits, and the temporary files a killed run leaves.
// Alone in its process, so that the peak memory it reads is this run's.

#include "image/decode_budget.h"
#include "image/image_worker.h"
#include "test_pictures.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <future>
#include <zlib.h>

using namespace testpic;

namespace {

QByteArray Chunk(const char *type, const QByteArray &data)
{
    QByteArray chunk(4, 0);
    qToBigEndian<quint32>(quint32(data.size()), chunk.data());
    const QByteArray body = QByteArray(type, 4) + data;
    QByteArray crc(4, 0);
    qToBigEndian<quint32>(quint32(crc32(0, reinterpret_cast<const Bytef *>(body.constData()), uInt(body.size()))),
                          crc.data());
    return chunk + body + crc;
}

// A complete, valid PNG of width x height grey pixels that deflates to about a megabyte:
// rows are compressed one by one, so making it takes no more memory than a row.
bool WriteValidPngBomb(const QString &path, quint32 width, quint32 height, int bitDepth, int colourType)
{
    const int channels = colourType == 6 ? 4 : colourType == 2 ? 3 : 1;
    const QByteArray row = QByteArray(1, 0) + QByteArray(qsizetype(width) * channels * bitDepth / 8, '\x80');
    z_stream z{};
    if (deflateInit(&z, Z_BEST_COMPRESSION) != Z_OK)
        return false;
    QByteArray compressed;
    QByteArray buffer(1 << 16, 0);
    const auto pump = [&](int flush) {
        do {
            z.next_out = reinterpret_cast<Bytef *>(buffer.data());
            z.avail_out = uInt(buffer.size());
            deflate(&z, flush);
            compressed.append(buffer.constData(), buffer.size() - qsizetype(z.avail_out));
        } while (z.avail_out == 0);
    };
    for (quint32 y = 0; y < height; ++y) {
        z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(row.constData()));
        z.avail_in = uInt(row.size());
        pump(Z_NO_FLUSH);
    }
    pump(Z_FINISH);
    deflateEnd(&z);

    QByteArray ihdr(13, 0);
    qToBigEndian<quint32>(width, ihdr.data());
    qToBigEndian<quint32>(height, ihdr.data() + 4);
    ihdr[8] = char(bitDepth);
    ihdr[9] = char(colourType);
    const QByteArray png =
        QByteArray("\x89PNG\r\n\x1A\n", 8) + Chunk("IHDR", ihdr) + Chunk("IDAT", compressed) + Chunk("IEND", {});
    return WriteBytes(path, png);
}

// A valid progressive JPEG of flat grey: one DC scan in which every block's difference is the
// one-bit code 0, so that megabytes describe a picture whose coefficients fill gigabytes.
bool WriteProgressiveJpegBomb(const QString &path, int width, int height, bool subsampled)
{
    const int components = 3, lumaFactor = subsampled ? 2 : 1;
    const auto segment = [](uchar marker, const QByteArray &body) {
        QByteArray s("\xFF", 1);
        s += char(marker);
        s += char((body.size() + 2) >> 8);
        s += char((body.size() + 2) & 0xFF);
        return s + body;
    };
    QByteArray frame;
    frame += char(8);
    frame += char(height >> 8);
    frame += char(height & 0xFF);
    frame += char(width >> 8);
    frame += char(width & 0xFF);
    frame += char(components);
    for (int c = 0; c < components; ++c) {
        const int factor = c == 0 ? lumaFactor : 1;
        frame += char(c + 1);
        frame += char(factor << 4 | factor);
        frame += char(0);
    }
    QByteArray scan;
    scan += char(components);
    for (int c = 0; c < components; ++c) {
        scan += char(c + 1);
        scan += char(0);
    }
    scan += QByteArray(3, 0); // DC only, no refinement
    const qint64 mcu = 8 * lumaFactor;
    const qint64 blocks = ((width + mcu - 1) / mcu) * ((height + mcu - 1) / mcu) * (lumaFactor * lumaFactor + 2);
    const QByteArray jpeg = QByteArray("\xFF\xD8", 2) + segment(0xDB, QByteArray(1, 0) + QByteArray(64, 1))
                            + segment(0xC2, frame)
                            + segment(0xC4, QByteArray("\x00\x01", 2) + QByteArray(15, 0) + QByteArray(1, 0))
                            + segment(0xDA, scan) + QByteArray((blocks + 7) / 8, 0) + QByteArray("\xFF\xD9", 2);
    return WriteBytes(path, jpeg);
}

qint64 PeakResidentBytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong() * 1024;
    return -1;
}

} // namespace

class TestImageBudget : public QObject {
    Q_OBJECT
private slots:
    void largerThanTheBudgetGoesAlone();
    void turnsInListOrder();
    void waitsForRoom();
    void abandonWakesWaiters();
    void bombsStayUnderTheBudget_data();
    void bombsStayUnderTheBudget();
    void largePngDecodedReduced();
    void staleTemporariesRemoved();
};

void TestImageBudget::largerThanTheBudgetGoesAlone()
{
    DecodeBudget budget(100);
    QVERIFY(budget.Take(0, 150)); // nothing else held: it may go, alone
    auto next = std::async(std::launch::async, [&] { return budget.Take(1, 1) ? budget.Held() : -1; });
    budget.Give(150);
    QCOMPARE(next.get(), qint64(1)); // it waited until the large one was given back
}

void TestImageBudget::turnsInListOrder()
{
    DecodeBudget budget(100);
    auto second = std::async(std::launch::async, [&] { return budget.Take(1, 10) ? budget.Held() : -1; });
    QVERIFY(budget.Take(0, 10));
    QCOMPARE(second.get(), qint64(20)); // the second went only after the first
    budget.Give(10);
    budget.Give(10);
    QCOMPARE(budget.Held(), qint64(0));
    QCOMPARE(budget.Peak(), qint64(20));
}

void TestImageBudget::waitsForRoom()
{
    DecodeBudget budget(100);
    QVERIFY(budget.Take(0, 70));
    auto second = std::async(std::launch::async, [&] { return budget.Take(1, 50) ? budget.Held() : -1; });
    budget.Give(70);
    QCOMPARE(second.get(), qint64(50));
    QCOMPARE(budget.Peak(), qint64(70));
}

void TestImageBudget::abandonWakesWaiters()
{
    DecodeBudget budget(100);
    auto waiting = std::async(std::launch::async, [&] { return budget.Take(3, 10); }); // turn 0 never comes
    budget.Abandon();
    QCOMPARE(waiting.get(), false);
}

// Small files that announce huge pictures, each under the per-picture limits: decoded
// reduced, they never come near the run's budget, also with the read-ahead. A progressive
// JPEG's decoder holds every coefficient at full size: two of those wait for each other, and
// one that alone would pass the budget is refused.
void TestImageBudget::bombsStayUnderTheBudget_data()
{
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QStringList>("converted"); // the rest are refused as too large
    QTest::newRow("PNG") << QStringList{"a 16-bit.png", "b 8-bit.png", "c 16-bit alpha.png"}
                         << QStringList{"a 16-bit.jpg", "b 8-bit.jpg", "c 16-bit alpha.jpg"};
    QTest::newRow("progressive JPEG") << QStringList{"d 420.jpg", "e 444.jpg", "f 420.jpg"}
                                      << QStringList{"d 420.jpg", "f 420.jpg"};
}

void TestImageBudget::bombsStayUnderTheBudget()
{
    QFETCH(QStringList, files);
    QFETCH(QStringList, converted);
    QTemporaryDir dir;
    const QString d = dir.path() + "/";
    QVERIFY(WriteValidPngBomb(d + "a 16-bit.png", 12000, 12000, 16, 2));
    QVERIFY(WriteValidPngBomb(d + "b 8-bit.png", 15000, 15000, 8, 2));
    QVERIFY(WriteValidPngBomb(d + "c 16-bit alpha.png", 12000, 12000, 16, 6));
    QVERIFY(WriteProgressiveJpegBomb(d + "d 420.jpg", 15000, 15000, true));
    QVERIFY(WriteProgressiveJpegBomb(d + "e 444.jpg", 15000, 15000, false));
    QVERIFY(WriteProgressiveJpegBomb(d + "f 420.jpg", 15000, 15000, true));
    RunRequest batch;
    batch.box = QSize(1280, 720);
    batch.outputFolder = OutputFolder(d + "out/");
    for (const QString &name : files) {
        QVERIFY(QFileInfo(d + name).size() < 2 * 1024 * 1024);
        batch.jobs.append({int(batch.jobs.size()), d + name});
    }

    const auto budget = std::make_shared<DecodeBudget>(kImageRunBudgetBytes);
    ImageWorker worker(batch, std::make_shared<ImageRunFlags>(), budget);
    QStringList outputs;
    connect(&worker, &ImageWorker::fileEnded, this, [&](const FileEnd &end) {
        if (end.outcome == Outcome::Done)
            outputs << QFileInfo(end.outputPath).fileName();
        else
            QCOMPARE(end.reason, Reason::Image(int(ImageError::TooLarge)));
    });
    worker.Run();

    QCOMPARE(outputs, converted);
    for (const QString &name : outputs) {
        const QImage output(d + "out/" + name);
        QCOMPARE(output.size(), QSize(720, 720));
        // Mid-grey; the one with alpha is half transparent, on white.
        const int grey = name.contains("alpha") ? 191 : 128;
        const QColor mean = MeanColor(output, 360, 360);
        QVERIFY2(Near(mean, QColor(grey, grey, grey), 4), qPrintable(name + " " + mean.name()));
    }
    const qint64 peak = PeakResidentBytes();
    qInfo("%s bombs: peak resident memory %lld MB, decoded pictures held at most %lld MB", QTest::currentDataTag(),
          static_cast<long long>(peak >> 20), static_cast<long long>(budget->Peak() >> 20));
    QVERIFY(budget->Peak() <= kImageRunBudgetBytes);
    QVERIFY2(peak > 0 && peak < kImageRunBudgetBytes, qPrintable(QString::number(peak >> 20) + " MB"));
}

// A real picture decoded reduced (16 bits a sample, 432 MB in full) keeps its look, its
// orientation and its exact output size.
void TestImageBudget::largePngDecodedReduced()
{
    QTemporaryDir dir;
    const QString source = dir.path() + "/deep.png";
    QVERIFY(WriteImage(source, Photo(6000, 4500).convertToFormat(QImage::Format_RGBX64), "png"));
    const ImageConvertOptions options{QSize(1280, 720), 1};
    QVERIFY(DecodedBytes(source, options) < 20 * 1024 * 1024);
    const QString output = dir.path() + "/deep.jpg";
    QSize written;
    QCOMPARE(ConvertImage(source, output, options, &written), ImageError::None);
    QCOMPARE(written, QSize(540, 720)); // turned a quarter
    const QImage image(output);
    // The red corner went top right with the turn, the blue one bottom left.
    QVERIFY(Near(MeanColor(image, image.width() - 20, 20), QColor(220, 20, 20), 12));
    QVERIFY(Near(MeanColor(image, 20, image.height() - 20), QColor(20, 30, 220), 12));
}

// Only regular files of exactly our temporary names go; the user's files of similar names,
// links and folders stay, and so do the files links point to.
void TestImageBudget::staleTemporariesRemoved()
{
    QTemporaryDir dir;
    const QString out = dir.path() + "/out/";
    QVERIFY(QDir().mkpath(out));
    QVERIFY(WriteBytes(out + ".framepress-AbC123.part", "left by a killed run"));
    QVERIFY(WriteBytes(out + ".framepress-notes.part", "the user's"));
    QVERIFY(WriteBytes(out + "framepress-AbC123.part", "the user's"));
    QVERIFY(WriteBytes(out + ".framepress-AbC123.part.jpg", "the user's"));
    QVERIFY(WriteBytes(dir.path() + "/precious.jpg", "the user's"));
    QVERIFY(QFile::link(dir.path() + "/precious.jpg", out + ".framepress-XyZ789.part"));
    QVERIFY(QDir().mkpath(out + ".framepress-QwE456.part"));

    RunRequest batch;
    batch.box = QSize(720, 480);
    batch.outputFolder = OutputFolder(out);
    QVERIFY(WriteJpeg(dir.path() + "/photo.jpg", Photo(640, 480)));
    batch.jobs.append({0, dir.path() + "/photo.jpg"});
    ImageWorker worker(batch, std::make_shared<ImageRunFlags>());
    worker.Run();

    const QStringList left =
        QDir(out).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    QCOMPARE(left, QStringList({".framepress-AbC123.part.jpg", ".framepress-QwE456.part", ".framepress-XyZ789.part",
                                ".framepress-notes.part", "framepress-AbC123.part", "photo.jpg"}));
    QCOMPARE(ReadBytes(dir.path() + "/precious.jpg"), QByteArray("the user's"));
}

QTEST_GUILESS_MAIN(TestImageBudget)
#include "tst_image_budget.moc"
