// A page's rows: the delete question, what a file's end does to its row, and last runs that
// follow their row.

#include "page/job_rows.h"
#include "run/reason_text.h"
#include "shell/lang.h"
#include "skin/message_box.h"
#include "widgets/file_list_ctrl.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TstJobRows : public QObject {
    Q_OBJECT

private slots:
    void init();
    void deleteQuestion();
    void fileEndOnItsRow_data();
    void fileEndOnItsRow();
    void lastRunFollowsItsRow();

private:
    QStringList MakeFiles(int n);
    JobListModel &Model() { return m_rows->Model(); }
    QTemporaryDir m_tmp;
    std::unique_ptr<FileListCtrl> m_list;
    std::unique_ptr<JobRows> m_rows;
};

void TstJobRows::init()
{
    m_list = std::make_unique<FileListCtrl>();
    m_rows = std::make_unique<JobRows>(*m_list, QStringLiteral("IDS_SUPPORT_FILES"),
                                       QStringLiteral("IDS_SUPPORT_VFORMAT_STR"));
    m_rows->Configure();
}

QStringList TstJobRows::MakeFiles(int n)
{
    QStringList paths;
    for (int i = 0; i < n; ++i) {
        paths << m_tmp.path() + QStringLiteral("/p%1.mp4").arg(i + 1, 2, 10, QChar('0'));
        QFile file(paths.last());
        file.open(QIODevice::WriteOnly);
        file.write("x");
    }
    return paths;
}

void TstJobRows::deleteQuestion()
{
    QCOMPARE(m_rows->AddFiles(MakeFiles(12)), 12);
    const QString prompt = Lang::Get(QStringLiteral("IDS_MESSAGEBOX_DELETE"));
    const QList<int> rows = m_rows->Model().CheckedIds();
    const QString twelve = m_rows->DeleteQuestion(rows);
    QVERIFY(twelve.startsWith(prompt + "\n\n"));
    QVERIFY(twelve.endsWith("p10.mp4\n<...more files...>\n"));
    QVERIFY(!twelve.contains("p11.mp4"));
    QVERIFY(!m_rows->DeleteQuestion(rows.mid(0, 10)).contains("more files"));
    QCOMPARE(m_rows->DeleteQuestion({rows[0]}), prompt + "\n\np01.mp4\n");

    // Checked rows go on Yes, not the selected ones; No keeps them.
    for (int row = 0; row < 12; ++row)
        Model().SetChecked(rows[row], row % 2 == 0);
    m_list->selectAll();
    {
        ScriptedMessageBox box(IDNO);
        QVERIFY(!m_rows->DeleteCheckedRows());
        QCOMPARE(Model().RowCount(), 12);
    }
    ScriptedMessageBox box(IDYES);
    QVERIFY(m_rows->DeleteCheckedRows());
    QCOMPARE(Model().RowCount(), 6);
    QVERIFY(Model().At(0).path.endsWith("p02.mp4"));
}

void TstJobRows::fileEndOnItsRow_data()
{
    QTest::addColumn<int>("outcome");
    QTest::addColumn<bool>("checked");
    QTest::addColumn<int>("status");
    QTest::addColumn<bool>("hasReason");

    QTest::newRow("done") << int(Outcome::Done) << false << int(RowStatus::Complete) << false;
    QTest::newRow("failed") << int(Outcome::Failed) << false << int(RowStatus::Failed) << true;
    QTest::newRow("cancelled") << int(Outcome::Cancelled) << true << int(RowStatus::Waiting) << false;
    QTest::newRow("stopped") << int(Outcome::Stopped) << true << int(RowStatus::Waiting) << false;
}

void TstJobRows::fileEndOnItsRow()
{
    QFETCH(int, outcome);
    const QStringList paths = MakeFiles(2);
    m_rows->AddFiles(paths);
    const int id = Model().IdAt(1);
    Model().SetStatus(id, RowStatus::Converting);
    const Reason reason = outcome == int(Outcome::Failed) ? Reason::Engine(13) : Reason{};
    m_rows->ShowFileEnd({id, paths[1], {}, Outcome(outcome), reason});
    QTEST(Model().At(1).checked, "checked");
    QTEST(int(Model().At(1).status), "status");
    QFETCH(bool, hasReason);
    QCOMPARE(Model().At(1).last.reason, hasReason ? Reason::Engine(13) : Reason{});
    // The status cell's tooltip tells why; otherwise it is the status text.
    const QModelIndex status = Model().index(1, 2);
    QCOMPARE(status.data(Qt::ToolTipRole).toString(),
             hasReason ? ReasonText(Reason::Engine(13)) : status.data().toString());
    QVERIFY(Model().At(0).checked);
    QCOMPARE(Model().At(0).status, RowStatus::Waiting);
}

// A file's end finds its row by id wherever the row went meanwhile; a row that has gone
// takes no other's end.
void TstJobRows::lastRunFollowsItsRow()
{
    const QStringList paths = MakeFiles(4);
    m_rows->AddFiles(paths);
    const QList<int> ids = Model().CheckedIds();
    Model().moveRows({}, 3, 1, {}, 0);
    Model().SetChecked(ids[1], false);
    Model().SetChecked(ids[2], false);
    ScriptedMessageBox box(IDYES);
    QVERIFY(m_rows->DeleteCheckedRows()); // the first and the moved row go
    m_rows->ShowFileEnd({ids[2], paths[2], {}, Outcome::Failed, Reason::Image(1)});
    m_rows->ShowFileEnd({ids[3], paths[3], "/out/3.mp4", Outcome::Done, {}});
    QCOMPARE(Model().At(1).last, LastRun::Failed(Reason::Image(1)));
    QCOMPARE(Model().At(0).last, LastRun{});
    QCOMPARE(Model().RowCount(), 2);
}

QTEST_MAIN(TstJobRows)
#include "tst_job_rows.moc"
