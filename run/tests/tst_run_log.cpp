// The run log: where it goes, what an entry says, how it is trimmed and what it keeps of a
// file it did not write.

#include "run/reason_text.h"
#include "run/run_log.h"
#include "run/state_folder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <ctime>
#include <sys/stat.h>

namespace {

QByteArray ReadAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool WriteAll(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

int Markers(const QByteArray &log)
{
    return int(log.count(QByteArray("\n") + RunLog::kEntryMarker + '\n')
               + (log.startsWith(RunLog::kEntryMarker) ? 1 : 0));
}

RunLogEntry ImageRun(const QString &source)
{
    RunLogEntry e;
    e.mode = "image";
    e.started = QDateTime::currentDateTime();
    e.ended = e.started.addSecs(3);
    FileEnd end;
    end.sourcePath = source;
    end.outputPath = source + ".jpg";
    e.files.append({end, {}, {}});
    return e;
}

int Mode(const QString &path)
{
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

void SetZone(const QByteArray &tz)
{
    qputenv("TZ", tz);
    ::tzset();
}

} // namespace

class TstRunLog : public QObject {
    Q_OBJECT

    QTemporaryDir m_tmp;

private slots:
    void cleanup() { SetZone("UTC0"); }

    // Where the window's "Open the log" looks.
    void defaultPath() { QCOMPARE(RunLog().Path(), RunLogPath()); }

    // One entry with every field, the times in local time with the zone's offset; the
    // missing folders are made private.
    void everyField_data()
    {
        QTest::addColumn<QByteArray>("zone");
        QTest::addColumn<QString>("started");
        QTest::addColumn<QString>("ended");
        QTest::newRow("UTC") << QByteArray("UTC0") << "2026-12-07T09:05:03+00:00"
                             << "2026-12-07T10:15:00+00:00";
        QTest::newRow("half hour east") << QByteArray("IST-5:30") << "2026-12-07T14:35:03+05:30"
                                        << "2026-12-07T15:45:00+05:30";
        QTest::newRow("west, over midnight") << QByteArray("NST9:30") << "2026-12-06T23:35:03-09:30"
                                             << "2026-12-07T00:45:00-09:30";
    }
    void everyField()
    {
        QFETCH(QByteArray, zone);
        QFETCH(QString, started);
        QFETCH(QString, ended);
        SetZone(zone);
        const QString folder = m_tmp.filePath(QString("fields %1/state/framepress").arg(QTest::currentDataTag()));
        RunLogEntry e;
        e.mode = "movie";
        e.started = QDateTime(QDate(2026, 12, 7), QTime(9, 5, 3), Qt::UTC);
        e.ended = QDateTime(QDate(2026, 12, 7), QTime(10, 15, 0), Qt::UTC);
        e.end = RunEnd::Cancelled;
        const Reason cutShort = Reason::Engine(13);
        e.files = {
            {{0, "/in/a.mp4", "/out/a.mp4", Outcome::Done, {}}, "-o b3V0 x.mp4", {"Pos: 1.0s", "done"}},
            {{2, "/in/b.avi", "/out/b.mp4", Outcome::Failed, cutShort}, "-o YgB", {"mencoder: cut short"}},
            {{3, "/in/c.mov", {}, Outcome::Failed, Reason::Preparation(3)}, {}, {}},
            {{4, "/in/d.mkv", "/out/d.mp4", Outcome::Cancelled, {}}, "-o ZAB", {}},
        };
        RunLog log(folder);
        QVERIFY(log.Append(e));
        QCOMPARE(Mode(folder), 0700);
        QCOMPARE(Mode(m_tmp.filePath(QString("fields %1/state").arg(QTest::currentDataTag()))), 0700);
        QCOMPARE(Mode(log.Path()), 0600);

        QVERIFY(!ReasonText(cutShort).isEmpty());
        const QString want = QString(RunLog::kEntryMarker)
                             + "\n"
                               "Mode: movie\n"
                               "Started: "
                             + started
                             + "\n"
                               "Ended: "
                             + ended
                             + "\n"
                               "Run end: cancelled\n"
                               "Files: 4 (done 1, failed 2, cancelled 1, stopped 0)\n"
                               "\n"
                               "File 1 of 4\n"
                               "  Source: /in/a.mp4\n"
                               "  Output: /out/a.mp4\n"
                               "  Outcome: done\n"
                               "  Reason: none\n"
                               "  Engine arguments: -o b3V0 x.mp4\n"
                               "  Engine said:\n"
                               "    Pos: 1.0s\n"
                               "    done\n"
                               "\n"
                               "File 2 of 4\n"
                               "  Source: /in/b.avi\n"
                               "  Output: /out/b.mp4\n"
                               "  Outcome: failed\n"
                               "  Reason: engine 13 (IDS_REASON_ENGINE_13): "
                             + ReasonText(cutShort)
                             + "\n"
                               "  Engine arguments: -o YgB\n"
                               "  Engine said:\n"
                               "    mencoder: cut short\n"
                               "\n"
                               "File 3 of 4\n"
                               "  Source: /in/c.mov\n"
                               "  Output: (none)\n"
                               "  Outcome: failed\n"
                               "  Reason: preparation 3 (IDS_REASON_PREPARE_3): "
                             + ReasonText(Reason::Preparation(3))
                             + "\n"
                               "\n"
                               "File 4 of 4\n"
                               "  Source: /in/d.mkv\n"
                               "  Output: /out/d.mp4\n"
                               "  Outcome: cancelled\n"
                               "  Reason: none\n"
                               "  Engine arguments: -o ZAB\n"
                               "  Engine said: (nothing)\n"
                               "\n";
        QCOMPARE(QString::fromUtf8(ReadAll(log.Path())), want);
    }

    // 25 runs: the last 20 are kept, oldest first.
    void keepsTheLastRuns()
    {
        RunLog log(m_tmp.filePath("trim"));
        for (int i = 1; i <= 25; ++i)
            QVERIFY(log.Append(ImageRun(QString("/pictures/%1.png").arg(i))));
        const QByteArray text = ReadAll(log.Path());
        QVERIFY(text.startsWith(RunLog::kEntryMarker));
        QCOMPARE(Markers(text), RunLog::kKeptRuns);
        qsizetype at = 0;
        for (int i = 6; i <= 25; ++i) {
            const qsizetype found = text.indexOf(QString("Source: /pictures/%1.png\n").arg(i).toUtf8());
            QVERIFY2(found > at, qPrintable(QString::number(i)));
            at = found;
        }
        QVERIFY(!text.contains("Source: /pictures/5.png\n"));
    }

    // What a file we did not write keeps: text before the first marker is dropped, every
    // entry after it is kept byte for byte, however garbled.
    void foreignText_data()
    {
        QTest::addColumn<QByteArray>("old");
        QTest::addColumn<QByteArray>("kept");
        const QByteArray m = RunLog::kEntryMarker;
        QTest::newRow("not a log at all") << QByteArray("some notes\nof someone\n") << QByteArray();
        QTest::newRow("empty") << QByteArray() << QByteArray();
        QTest::newRow("text before the first entry") << "notes\n" + m + "\nMode: movie\n\n" << m + "\nMode: movie\n\n";
        QTest::newRow("bytes that are not UTF-8, a CRLF marker") << m + "\r\nSource: \xff\xfe x\n" + m + "\nx\n"
                                                                 << m + "\r\nSource: \xff\xfe x\n" + m + "\nx\n";
        QTest::newRow("last entry cut short") << m + "\nMode: mov" << m + "\nMode: mov\n";
        QTest::newRow("a marker must stand alone") << " " + m + "\n" + m + " x\n" << QByteArray();
    }
    void foreignText()
    {
        QFETCH(QByteArray, old);
        QFETCH(QByteArray, kept);
        RunLog log(m_tmp.filePath(QString("foreign %1").arg(QTest::currentDataTag())));
        QVERIFY(QDir().mkpath(log.Folder()));
        QVERIFY(WriteAll(log.Path(), old));
        QVERIFY(log.Append(ImageRun("/p/new.png")));
        const QByteArray text = ReadAll(log.Path());
        QVERIFY2(text.startsWith(kept + RunLog::kEntryMarker + "\nMode: image\n"), text.constData());
        QVERIFY(text.endsWith("Source: /p/new.png\n  Output: /p/new.png.jpg\n  Outcome: done\n  Reason: none\n\n"));
    }

    // Names and engine lines come through as they are, except that control characters are
    // escaped: no value can start a line, let alone pass for a marker.
    void namesSurvive_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("shown");
        QTest::newRow("spaces and quotes") << "/a b/\"it's\" 'x'.mp4"
                                           << "/a b/\"it's\" 'x'.mp4";
        QTest::newRow("non-ASCII") << "/Größe/日本語 ✓ 😀.mkv"
                                   << "/Größe/日本語 ✓ 😀.mkv";
        QTest::newRow("backslashes as they are") << "/a\\b\\n.mp4"
                                                 << "/a\\b\\n.mp4";
        QTest::newRow("a newline and a fake entry")
            << "/x\n" + QString(RunLog::kEntryMarker) + "\nMode: fake\r\t\x01\x7f.mp4"
            << "/x\\n" + QString(RunLog::kEntryMarker) + "\\nMode: fake\\r\\t\\x01\\x7f.mp4";
        QTest::newRow("unicode line separators") << QString("/a\u2028b\u2029c") << "/a\\u2028b\\u2029c";
    }
    void namesSurvive()
    {
        QFETCH(QString, name);
        QFETCH(QString, shown);
        RunLog log(m_tmp.filePath(QString("names %1").arg(QTest::currentDataTag())));
        RunLogEntry e;
        e.mode = "movie";
        e.started = e.ended = QDateTime::currentDateTime();
        FileEnd end;
        end.sourcePath = name;
        end.outputPath = name;
        e.files.append({end, name, {name}});
        QVERIFY(log.Append(e));
        QVERIFY(log.Append(e));
        const QString text = QString::fromUtf8(ReadAll(log.Path()));
        QCOMPARE(Markers(text.toUtf8()), 2);
        QCOMPARE(text.count("  Source: " + shown + "\n  Output: " + shown + "\n"), 2);
        QCOMPARE(text.count("  Engine arguments: " + shown + "\n  Engine said:\n    " + shown + "\n"), 2);
    }

    // A run's entry is written as it starts and completed at its end; one never completed (a
    // program killed meanwhile) keeps saying so beside the next run's.
    void begunThenCompleted_data()
    {
        QTest::addColumn<bool>("oneNeverCompleted");
        QTest::addColumn<bool>("goneMeanwhile");
        QTest::newRow("completed") << false << false;
        QTest::newRow("a run before never completed") << true << false;
        QTest::newRow("the log removed meanwhile") << false << true;
    }
    void begunThenCompleted()
    {
        QFETCH(bool, oneNeverCompleted);
        QFETCH(bool, goneMeanwhile);
        RunLog log(m_tmp.filePath(QString("begun %1").arg(QTest::currentDataTag())));
        RunLogEntry killed = ImageRun("/p/killed.png"), run = ImageRun("/p/next.png");
        QVERIFY(!oneNeverCompleted || log.Begin(killed));
        QVERIFY(log.Begin(run));
        QCOMPARE(ReadAll(log.Path()).count("Ended: unknown\nRun end: did not finish\n"), oneNeverCompleted ? 2 : 1);
        QVERIFY(!goneMeanwhile || QFile::remove(log.Path()));
        run.end = RunEnd::Cancelled;
        QVERIFY(log.Complete(run));
        const QByteArray text = ReadAll(log.Path());
        QCOMPARE(Markers(text), oneNeverCompleted ? 2 : 1);
        QCOMPARE(text.count("Run end: did not finish\n"), oneNeverCompleted ? 1 : 0);
        QVERIFY(text.indexOf("did not finish") < text.indexOf("Run end: cancelled\n")); // as they began
    }

    // Nowhere to write: false, no crash, and what stood there is left alone.
    void unwritable_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::newRow("folder under a file") << "plain file/framepress";
        QTest::newRow("folder is a file") << "plain file";
        QTest::newRow("log is a folder") << "log folder";
    }
    void unwritable()
    {
        QFETCH(QString, folder);
        QVERIFY(WriteAll(m_tmp.filePath("plain file"), "mine\n"));
        QVERIFY(QDir().mkpath(m_tmp.filePath("log folder/runs.log/inside")));
        RunLog log(m_tmp.filePath(folder));
        QVERIFY(!log.Append(ImageRun("/p/x.png")));
        QCOMPARE(ReadAll(m_tmp.filePath("plain file")), QByteArray("mine\n"));
        QVERIFY(QFileInfo(m_tmp.filePath("log folder/runs.log/inside")).isDir());
        QCOMPARE(QDir(m_tmp.filePath("log folder")).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{"runs.log"});
    }
};

QTEST_GUILESS_MAIN(TstRunLog)
#include "tst_run_log.moc"
