// A page's list kept as it changes: restored rows take the list's own way in, every kind of
// change reaches the disk by the end of its event-loop turn, and a burst costs one write.

#include "page/job_rows.h"
#include "page/list_keeper.h"
#include "run/reason_text.h"
#include "run/run_log.h"
#include "shell/lang.h"
#include "skin/message_box.h"
#include "widgets/file_list_ctrl.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <functional>
#include <sys/resource.h>

class TstListKeeper : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void restoreTakesTheListsWayIn();
    void everyChangeIsKept();
    void fullDiskLosesNothing();
    void unreadableListIsKeptAside();

private:
    QString Source(const QString &name);
    void Build();
    // The list as the next start would show it: converting waits, unchecked shows its last end.
    QList<KeptRow> OnScreen() const;

    std::unique_ptr<QTemporaryDir> m_tmp;
    QByteArray m_oldState;
    std::unique_ptr<FileListCtrl> m_list;
    std::unique_ptr<JobRows> m_rows;
    std::unique_ptr<ListKeeper> m_keeper;
};

void TstListKeeper::init()
{
    m_tmp = std::make_unique<QTemporaryDir>();
    m_oldState = qgetenv("XDG_STATE_HOME");
    qputenv("XDG_STATE_HOME", QFile::encodeName(m_tmp->path() + "/state"));
}

void TstListKeeper::cleanup()
{
    m_keeper.reset();
    m_rows.reset();
    m_list.reset();
    qputenv("XDG_STATE_HOME", m_oldState);
}

QString TstListKeeper::Source(const QString &name)
{
    const QString path = m_tmp->path() + "/" + name;
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write(QByteArray(3000, 'x'));
    return path;
}

void TstListKeeper::Build()
{
    m_keeper.reset();
    m_rows.reset();
    m_list = std::make_unique<FileListCtrl>();
    m_rows = std::make_unique<JobRows>(*m_list, QStringLiteral("IDS_SUPPORT_FILES"),
                                       QStringLiteral("IDS_SUPPORT_VFORMAT_STR"));
    m_rows->Configure();
    m_keeper = std::make_unique<ListKeeper>(*m_rows, QStringLiteral("movie"));
}

QList<KeptRow> TstListKeeper::OnScreen() const
{
    QList<KeptRow> rows = m_rows->Model().KeptRows();
    for (KeptRow &kept : rows) {
        if (kept.status == RowStatus::Converting)
            kept.status = RowStatus::Waiting;
        if (!kept.checked && kept.status == RowStatus::Waiting && kept.last.end != LastRun::End::None)
            kept.status = kept.last.end == LastRun::End::Converted ? RowStatus::Complete : RowStatus::Failed;
    }
    return rows;
}

void TstListKeeper::restoreTakesTheListsWayIn()
{
    const QString a = Source("a.mp4"), c = Source("c.mp4"), gone = m_tmp->path() + "/gone.mp4";
    const QString refused = Source("notes.txt");
    QVERIFY(ListStore(QStringLiteral("movie"))
                .Save({{a, true, RowStatus::Waiting, {}},
                       {a, false, RowStatus::Failed, {}}, // listed already
                       {refused, true, RowStatus::Waiting, {}},
                       {c, false, RowStatus::Failed, LastRun::Failed(Reason::Engine(13))},
                       {gone, true, RowStatus::Waiting, {}}}));
    Build();
    QCOMPARE(m_keeper->Restore(), 3);
    QCOMPARE(OnScreen(),
             (QList<KeptRow>{{a, true, RowStatus::Waiting, {}},
                             {c, false, RowStatus::Failed, LastRun::Failed(Reason::Engine(13))},
                             {gone, false, RowStatus::Failed, LastRun::Failed(Reason::Of(ReasonKind::SourceGone))}}));
    const JobListModel &model = m_rows->Model();
    for (int row = 0; row < 3; ++row) {
        QCOMPARE(model.index(row, 2).data().toString(), RowStatusText(int(model.At(row).status)));
        QVERIFY(!model.index(row, 1).data().toString().isEmpty());
    }
    QCOMPARE(model.index(1, 2).data(Qt::ToolTipRole).toString(), ReasonText(Reason::Engine(13)));
    QCOMPARE(model.index(2, 2).data(Qt::ToolTipRole).toString(), ReasonText(Reason::Of(ReasonKind::SourceGone)));
    QVERIFY(!ReasonText(Reason::Of(ReasonKind::SourceGone)).isEmpty());
    // What the list refused is not kept either.
    QSignalSpy saved(m_keeper.get(), &ListKeeper::saved);
    QVERIFY(saved.wait());
    QCOMPARE(ListStore(QStringLiteral("movie")).Load(), std::optional(OnScreen()));
}

void TstListKeeper::everyChangeIsKept()
{
    ScriptedMessageBox box(IDYES);
    Build();
    QSignalSpy saved(m_keeper.get(), &ListKeeper::saved);
    const QStringList paths{Source("1.mp4"), Source("2.mp4"), Source("3.mp4"), Source("4.mp4")};
    JobListModel &model = m_rows->Model();
    const QList<std::pair<const char *, std::function<void()>>> steps{
        {"added", [&] { m_rows->AddFiles(paths); }},
        {"unchecked", [&] { model.SetChecked(model.IdAt(1), false); }},
        {"moved", [&] { model.moveRows({}, 0, 1, {}, 4); }},
        {"converting", [&] { model.SetStatus(model.IdAt(0), RowStatus::Converting); }},
        {"failed with its reason",
         [&] {
             m_rows->ShowFileEnd({model.IdAt(0), {}, {}, Outcome::Failed, Reason::Stall(17)});
         }},
        {"done",
         [&] {
             m_rows->ShowFileEnd({model.IdAt(1), {}, "/out/1.mp4", Outcome::Done, {}});
         }},
        {"all waiting again", [&] { m_rows->ShowAllWaiting(); }},
        {"checked rows deleted", [&] { QVERIFY(m_rows->DeleteCheckedRows()); }},
        {"rows of trashed sources removed",
         [&] {
             m_rows->RemoveRowsOf({{model.IdAt(0), {}, {}, Outcome::Done, {}}});
         }},
    };
    for (const auto &[what, step] : steps) {
        saved.clear();
        step();
        QVERIFY2(saved.wait(), what);
        QCOMPARE(saved.size(), 1); // a burst of changes is one write
        QCOMPARE(ListStore(QStringLiteral("movie")).Load(), std::optional(OnScreen()));
    }
}

static QByteArray ReadAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(missing)");
}

void TstListKeeper::fullDiskLosesNothing()
{
    Build();
    m_rows->AddFiles({Source("1.mp4"), Source("2.mp4")});
    RunLog log;
    const RunLogEntry entry{"movie", QDateTime::currentDateTime(), QDateTime::currentDateTime(), RunEnd::Finished, {}};
    QVERIFY(m_keeper->Flush() && log.Append(entry));
    const QByteArray listBefore = ReadAll(m_keeper->FilePath()), logBefore = ReadAll(log.Path());
    const QStringList files = QDir(ListStore::Folder()).entryList(QDir::Files | QDir::Hidden);
    m_rows->AddFiles({Source("3.mp4")});
    { // no room left, as this process sees it: a write past 16 bytes fails (EFBIG) as on a full disk
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit old{};
        ::getrlimit(RLIMIT_FSIZE, &old);
        const rlimit full{16, old.rlim_max};
        ::setrlimit(RLIMIT_FSIZE, &full);
        const bool listWritten = m_keeper->Flush(), logWritten = log.Append(entry);
        ::setrlimit(RLIMIT_FSIZE, &old);
        QVERIFY(!listWritten && !logWritten);
    }
    QCOMPARE(ReadAll(m_keeper->FilePath()), listBefore);
    QCOMPARE(ReadAll(log.Path()), logBefore);
    QCOMPARE(QDir(ListStore::Folder()).entryList(QDir::Files | QDir::Hidden), files); // nothing half-written
    // With room again the same change is written, without another one.
    QVERIFY(m_keeper->Flush());
    QCOMPARE(ListStore(QStringLiteral("movie")).Load()->size(), 3);
}

// A list cut short, twice: each is kept aside under a name of its own and said once.
void TstListKeeper::unreadableListIsKeptAside()
{
    const QString file = ListStore(QStringLiteral("movie")).FilePath();
    const QByteArray cut = R"({"format":"framepress-list","version":1,"rows":[{"pa)";
    for (const QString &aside : {file + ".unreadable", file + ".unreadable.1"}) {
        QFile f(file);
        QVERIFY(QDir().mkpath(ListStore::Folder()) && f.open(QIODevice::WriteOnly) && f.write(cut) == cut.size());
        f.close();
        ScriptedMessageBox box(IDOK);
        Build();
        QCOMPARE(m_keeper->Restore(), 0);
        QCOMPARE(box.Questions().size(), 1);
        QCOMPARE(box.Questions()[0].text, Lang::Get("IDS_MESSAGEBOX_LIST_UNREADABLE").arg(aside));
        QCOMPARE(ReadAll(aside), cut);
    }
}

QTEST_MAIN(TstListKeeper)
#include "tst_list_keeper.moc"
