#include "platform/trash.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

bool WriteFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QByteArray ReadFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

// Each case runs on a fresh account: a home of its own, a data folder that may not exist yet,
// and the current folder elsewhere, where nothing may appear.
class TstTrash : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void freshAccountTrashesIntoTheHomeTrash_data();
    void freshAccountTrashesIntoTheHomeTrash();
    void noUsableTrashKeepsTheFile();
    void missingFileFails();

private:
    std::unique_ptr<QTemporaryDir> m_root;
    QString m_home, m_current, m_sources;
    QByteArray m_savedHome, m_savedData;
    QString m_savedCurrent;
};

void TstTrash::init()
{
    m_root = std::make_unique<QTemporaryDir>();
    QVERIFY(m_root->isValid());
    m_home = m_root->filePath("home");
    m_current = m_root->filePath("current");
    m_sources = m_root->filePath("sources");
    for (const QString &dir : {m_home, m_current, m_sources})
        QVERIFY(QDir().mkpath(dir));
    m_savedHome = qgetenv("HOME");
    m_savedData = qgetenv("XDG_DATA_HOME");
    m_savedCurrent = QDir::currentPath();
    qputenv("HOME", m_home.toLocal8Bit());
    QVERIFY(QDir::setCurrent(m_current));
}

void TstTrash::cleanup()
{
    QDir::setCurrent(m_savedCurrent);
    qputenv("HOME", m_savedHome);
    qputenv("XDG_DATA_HOME", m_savedData);
    m_root.reset();
}

void TstTrash::freshAccountTrashesIntoTheHomeTrash_data()
{
    QTest::addColumn<QString>("dataHome"); // relative to the temporary root; empty: unset
    QTest::addColumn<QString>("trash");    // where the trash must be
    QTest::newRow("XDG_DATA_HOME missing") << "data"
                                           << "data/Trash";
    QTest::newRow("XDG_DATA_HOME unset, no ~/.local/share") << ""
                                                            << "home/.local/share/Trash";
}

void TstTrash::freshAccountTrashesIntoTheHomeTrash()
{
    QFETCH(QString, dataHome);
    QFETCH(QString, trash);
    if (dataHome.isEmpty())
        qunsetenv("XDG_DATA_HOME");
    else
        qputenv("XDG_DATA_HOME", m_root->filePath(dataHome).toLocal8Bit());
    const QString source = m_sources + "/clip one.mp4";
    QVERIFY(WriteFile(source, "frames"));

    QCOMPARE(platform::MoveToTrash(source), platform::TrashResult::Trashed);

    QVERIFY(!QFileInfo::exists(source));
    QCOMPARE(ReadFile(m_root->filePath(trash + "/files/clip one.mp4")), QByteArray("frames"));
    QVERIFY(QFileInfo::exists(m_root->filePath(trash + "/info/clip one.mp4.trashinfo")));
    QCOMPARE(QDir(m_current).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());
    // Other accounts may not look into it.
    QCOMPARE(QFileInfo(m_root->filePath(trash)).permissions() & (QFile::ReadOther | QFile::ReadGroup),
             QFile::Permissions());
}

// A data folder that cannot exist (a file stands where its parent should be): nothing moves.
void TstTrash::noUsableTrashKeepsTheFile()
{
    QVERIFY(WriteFile(m_root->filePath("taken"), "x"));
    qputenv("XDG_DATA_HOME", m_root->filePath("taken/data").toLocal8Bit());
    const QString source = m_sources + "/a.jpg";
    QVERIFY(WriteFile(source, "pixels"));

    QCOMPARE(platform::MoveToTrash(source), platform::TrashResult::NoTrash);

    QCOMPARE(ReadFile(source), QByteArray("pixels"));
    QCOMPARE(QDir(m_current).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());
}

void TstTrash::missingFileFails()
{
    qputenv("XDG_DATA_HOME", m_root->filePath("data").toLocal8Bit());
    QCOMPARE(platform::MoveToTrash(m_sources + "/gone.mp4"), platform::TrashResult::Failed);
    QCOMPARE(platform::MoveToTrash(QString()), platform::TrashResult::Failed);
}

QTEST_GUILESS_MAIN(TstTrash)
#include "tst_trash.moc"
