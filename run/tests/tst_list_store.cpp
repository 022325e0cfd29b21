// A page's kept list on disk: what comes back at the next start, whatever the names, and
// nothing at all from a file that is not ours.

#include "platform/native_name.h"
#include "run/list_store.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <unistd.h>

Q_DECLARE_METATYPE(KeptRow)

class TstListStore : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void namesRoundTrip_data();
    void namesRoundTrip();
    void rowAtNextStart_data();
    void rowAtNextStart();
    void keepsOrder();
    void foreignFileIsUnreadable_data();
    void foreignFileIsUnreadable();
    void folder_data();
    void folder();

private:
    QString Source(const QString &name);
    void WriteListFile(const QByteArray &content);

    std::unique_ptr<QTemporaryDir> m_tmp;
    QByteArray m_oldState;
};

void TstListStore::init()
{
    m_tmp = std::make_unique<QTemporaryDir>();
    m_oldState = qgetenv("XDG_STATE_HOME");
    qputenv("XDG_STATE_HOME", QFile::encodeName(m_tmp->path() + "/state"));
    QDir().mkpath(m_tmp->path() + "/in");
}

void TstListStore::cleanup() { qputenv("XDG_STATE_HOME", m_oldState); }

QString TstListStore::Source(const QString &name)
{
    const QString path = m_tmp->path() + "/in/" + name;
    const int fd = ::open(platform::NativeName(path).constData(), O_WRONLY | O_CREAT, 0600);
    if (fd >= 0 && ::write(fd, "x", 1) != 1)
        qWarning("cannot write %d", fd);
    ::close(fd);
    return path;
}

void TstListStore::WriteListFile(const QByteArray &content)
{
    QDir().mkpath(ListStore::Folder());
    QFile f(ListStore(QStringLiteral("movie")).FilePath());
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(content);
}

void TstListStore::namesRoundTrip_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("plain") << "clip.mp4";
    QTest::newRow("spaces") << "  my holiday clip .mp4";
    QTest::newRow("quotes and backslash") << "say \"hi\" it's \\ here.mp4";
    QTest::newRow("non-ASCII") << QString::fromUtf8("été – 夏 – 🎬.mkv");
    QTest::newRow("control-like") << "tab\there\nnewline.avi";
    QTest::newRow("bytes that are no UTF-8") << platform::NameFromNative("caf\xe9 \xff.mp4");
}

void TstListStore::namesRoundTrip()
{
    QFETCH(QString, name);
    const QString path = Source(name);
    QVERIFY(platform::StatName(path).isFile);
    const ListStore store(QStringLiteral("movie"));
    const QList<KeptRow> rows{{path, false, RowStatus::Failed, LastRun::Failed(Reason::Engine(13))}};
    QVERIFY(store.Save(rows));
    QCOMPARE(store.Load(), std::optional(rows));
}

void TstListStore::rowAtNextStart_data()
{
    QTest::addColumn<KeptRow>("saved");
    QTest::addColumn<bool>("sourceGone");
    QTest::addColumn<KeptRow>("loaded");

    const QString p = QStringLiteral("/placeholder"); // replaced by the row's real source
    const LastRun gone = LastRun::Failed(Reason::Of(ReasonKind::SourceGone));
    const LastRun converted = LastRun::Converted("/out/a.mp4"), stalled = LastRun::Failed(Reason::Stall(17));
    QTest::newRow("waiting") << KeptRow{p, true, RowStatus::Waiting, {}} << false
                             << KeptRow{p, true, RowStatus::Waiting, {}};
    QTest::newRow("unchecked") << KeptRow{p, false, RowStatus::Waiting, {}} << false
                               << KeptRow{p, false, RowStatus::Waiting, {}};
    QTest::newRow("converting waits again")
        << KeptRow{p, true, RowStatus::Converting, {}} << false << KeptRow{p, true, RowStatus::Waiting, {}};
    for (const Reason r : {Reason::Engine(7), Reason::Preparation(2), Reason::Stall(17), Reason::Image(3),
                           Reason::Of(ReasonKind::EngineMissing), Reason::Of(ReasonKind::EngineLost),
                           Reason::Of(ReasonKind::NoOutput), gone.reason}) {
        QTest::addRow("failed, kind %d code %d", int(r.kind), r.code)
            << KeptRow{p, false, RowStatus::Failed, LastRun::Failed(r)} << false
            << KeptRow{p, false, RowStatus::Failed, LastRun::Failed(r)};
    }
    QTest::newRow("converted, then a later run's start") << KeptRow{p, false, RowStatus::Waiting, converted} << false
                                                         << KeptRow{p, false, RowStatus::Complete, converted};
    QTest::newRow("failed, then a later run's start")
        << KeptRow{p, false, RowStatus::Waiting, stalled} << false << KeptRow{p, false, RowStatus::Failed, stalled};
    QTest::newRow("converted, checked again")
        << KeptRow{p, true, RowStatus::Waiting, converted} << false << KeptRow{p, true, RowStatus::Waiting, converted};
    QTest::newRow("gone after converting") << KeptRow{p, false, RowStatus::Complete, converted} << true
                                           << KeptRow{p, false, RowStatus::Complete, converted};
    QTest::newRow("gone while waiting") << KeptRow{p, true, RowStatus::Waiting, {}} << true
                                        << KeptRow{p, false, RowStatus::Failed, gone};
    QTest::newRow("gone while converting")
        << KeptRow{p, true, RowStatus::Converting, {}} << true << KeptRow{p, false, RowStatus::Failed, gone};
    QTest::newRow("gone after failing") << KeptRow{p, false, RowStatus::Failed, LastRun::Failed(Reason::Engine(2))}
                                        << true << KeptRow{p, false, RowStatus::Failed, gone};
}

void TstListStore::rowAtNextStart()
{
    QFETCH(KeptRow, saved);
    QFETCH(bool, sourceGone);
    QFETCH(KeptRow, loaded);
    saved.path = loaded.path = Source(QStringLiteral("a.mp4"));
    const ListStore store(QStringLiteral("image"));
    QVERIFY(store.Save({saved}));
    if (sourceGone)
        QVERIFY(QFile::remove(saved.path));
    QCOMPARE(store.Load(), std::optional(QList<KeptRow>{loaded}));
}

void TstListStore::keepsOrder()
{
    const QList<KeptRow> rows{{Source("3.mp4"), true, RowStatus::Waiting, {}},
                              {Source("1.mp4"), false, RowStatus::Complete, LastRun::Converted("/out/1.mp4")},
                              {Source("2.mp4"), true, RowStatus::Waiting, {}}};
    const ListStore movie(QStringLiteral("movie"));
    QVERIFY(movie.Save(rows));
    QCOMPARE(movie.Load(), std::optional(rows));
    // Each page has a file of its own, in a folder private to the user.
    QCOMPARE(ListStore(QStringLiteral("image")).Load(), std::optional(QList<KeptRow>{}));
    const QFile::Permissions others =
        QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup | QFile::ReadOther | QFile::WriteOther | QFile::ExeOther;
    QCOMPARE(QFileInfo(ListStore::Folder()).permissions() & others, QFile::Permissions());
    // A later, shorter list replaces it whole.
    QVERIFY(movie.Save({rows[2]}));
    QCOMPARE(movie.Load()->size(), 1);
    QVERIFY(movie.Save({}));
    QCOMPARE(movie.Load()->size(), 0);
}

void TstListStore::foreignFileIsUnreadable_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("rows");
    const QByteArray head = R"({"format":"framepress-list","version":1,"rows":)";
    const QByteArray good = R"({"path":"SRC","checked":true,"status":0})";
    QTest::newRow("ours") << head + "[" + good + "]}" << 1;
    QTest::newRow("empty file") << QByteArray() << -1;
    QTest::newRow("not JSON") << QByteArray("\x00\xff garbage \x01", 12) << -1;
    QTest::newRow("cut short") << (head + "[" + good + "]}").left(60) << -1;
    QTest::newRow("an array") << "[" + good + "]" << -1;
    QTest::newRow("another format") << R"({"format":"playlist","version":1,"rows":[)" + good + "]}" << -1;
    QTest::newRow("a later version") << R"({"format":"framepress-list","version":2,"rows":[)" + good + "]}" << -1;
    QTest::newRow("rows not a list") << head + R"({"a":1}})" << -1;
    // Rows that cannot be a source are skipped; the others stay.
    QTest::newRow("relative path") << head + R"([{"path":"in/x.mp4"},)" + good + "]}" << 1;
    QTest::newRow("path not a string") << head + R"([{"path":12},{"status":0},7,"x",)" + good + "]}" << 1;
    QTest::newRow("unknown status waits") << head + R"([{"path":"SRC","status":99}]})" << 1;
}

void TstListStore::foreignFileIsUnreadable()
{
    QFETCH(QByteArray, content);
    QFETCH(int, rows);
    const QString source = Source(QStringLiteral("x.mp4"));
    WriteListFile(content.replace("SRC", source.toUtf8()));
    const std::optional<QList<KeptRow>> loaded = ListStore(QStringLiteral("movie")).Load();
    QCOMPARE(loaded ? int(loaded->size()) : -1, rows); // -1: not a list this version reads
    for (const KeptRow &row : loaded.value_or(QList<KeptRow>{}))
        QCOMPARE(row, (KeptRow{source, true, RowStatus::Waiting, {}}));
}

void TstListStore::folder_data()
{
    QTest::addColumn<QByteArray>("stateHome");
    QTest::addColumn<QString>("folder");
    QTest::newRow("set") << QByteArray("/var/tmp/st") << "/var/tmp/st/framepress";
    QTest::newRow("relative is ignored") << QByteArray("st") << QDir::homePath() + "/.local/state/framepress";
    QTest::newRow("empty") << QByteArray() << QDir::homePath() + "/.local/state/framepress";
}

void TstListStore::folder()
{
    QFETCH(QByteArray, stateHome);
    QFETCH(QString, folder);
    qputenv("XDG_STATE_HOME", stateHome);
    QCOMPARE(ListStore::Folder(), folder);
    QCOMPARE(ListStore(QStringLiteral("movie")).FilePath(), folder + "/movie-list.json");
}

QTEST_GUILESS_MAIN(TstListStore)
#include "tst_list_store.moc"
