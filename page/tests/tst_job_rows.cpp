// A page's rows: the delete question, what a file's end does to its row, and reasons that
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
    void reasonFollowsItsRow();

private:
    QStringList MakeFiles(int n);
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
    QList<int> rows;
    for (int i = 0; i < 12; ++i)
        rows << i;
    const QString twelve = m_rows->DeleteQuestion(rows);
    QVERIFY(twelve.startsWith(prompt + "\n\n"));
    QVERIFY(twelve.endsWith("p10.mp4\n<...more files...>\n"));
    QVERIFY(!twelve.contains("p11.mp4"));
    QVERIFY(!m_rows->DeleteQuestion(rows.mid(0, 10)).contains("more files"));
    QCOMPARE(m_rows->DeleteQuestion({0}), prompt + "\n\np01.mp4\n");

    // Checked rows go on Yes, not the selected ones; No keeps them.
    for (int row = 0; row < 12; ++row)
        m_list->SetChecked(row, row % 2 == 0);
    {
        ScriptedMessageBox box(IDNO);
        QVERIFY(!m_rows->DeleteCheckedRows());
        QCOMPARE(m_list->RowCount(), 12);
    }
    ScriptedMessageBox box(IDYES);
    QVERIFY(m_rows->DeleteCheckedRows());
    QCOMPARE(m_list->RowCount(), 6);
    QVERIFY(m_list->RowPath(0).endsWith("p02.mp4"));
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
    m_rows->ShowRowStatus(1, RowStatus::Converting);
    const Reason reason = outcome == int(Outcome::Failed) ? Reason::Engine(13) : Reason{};
    m_rows->ShowFileEnd({1, paths[1], {}, Outcome(outcome), reason});
    QTEST(m_list->IsChecked(1), "checked");
    QTEST(m_list->RowStatusCode(1), "status");
    QFETCH(bool, hasReason);
    QCOMPARE(m_rows->RowReason(1), hasReason ? Reason::Engine(13) : Reason{});
    // The status cell's tooltip tells why; otherwise it is the status text.
    const QModelIndex status = m_list->model()->index(1, 2);
    QCOMPARE(status.data(Qt::ToolTipRole).toString(),
             hasReason ? ReasonText(Reason::Engine(13)) : m_list->ItemText(1, 2));
    QVERIFY(m_list->IsChecked(0));
    QCOMPARE(m_list->RowStatusCode(0), int(RowStatus::Waiting));
}

void TstJobRows::reasonFollowsItsRow()
{
    const QStringList paths = MakeFiles(3);
    m_rows->AddFiles(paths);
    m_rows->ShowFileEnd({2, paths[2], {}, Outcome::Failed, Reason::Image(1)});
    m_list->SetChecked(1, false);
    m_list->SetChecked(2, false);
    ScriptedMessageBox box(IDYES);
    QVERIFY(m_rows->DeleteCheckedRows()); // row 0 goes; the failed row moves up
    QCOMPARE(m_rows->RowReason(1), Reason::Image(1));
    QCOMPARE(m_rows->RowReason(0), Reason{});
}

QTEST_MAIN(TstJobRows)
#include "tst_job_rows.moc"
