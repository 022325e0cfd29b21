// The end message of a finished run for all-done, some-failed and all-failed runs.

#include "run/end_text.h"
#include "run/reason_text.h"
#include "shell/lang.h"

#include <QTest>

class TstEndText : public QObject {
    Q_OBJECT

private slots:
    void endMessage_data();
    void endMessage();
};

// Outcomes of the files as letters: d done, f failed (reasons in turn: not a media file,
// stalled), c cancelled.
void TstEndText::endMessage_data()
{
    QTest::addColumn<QString>("files");
    QTest::addColumn<QString>("counts");
    QTest::addColumn<bool>("warning");
    QTest::addColumn<int>("details");

    QTest::newRow("all done") << "ddd"
                              << "3 converted" << false << 0;
    QTest::newRow("some failed") << "dfdf"
                                 << "2 converted, 2 failed" << true << 2;
    QTest::newRow("all failed") << "ff"
                                << "No file was converted: all 2 failed." << true << 2;
    QTest::newRow("one of one failed") << "f"
                                       << "No file was converted: all 1 failed." << true << 1;
}

void TstEndText::endMessage()
{
    QFETCH(QString, files);
    QFETCH(QString, counts);
    QFETCH(bool, warning);
    QFETCH(int, details);

    RunSummary summary;
    const Reason reasons[] = {Reason::Engine(11), Reason::Stall(17)};
    int failures = 0;
    for (int i = 0; i < files.size(); ++i) {
        const QString source = QStringLiteral("/in/clip é %1.mov").arg(i);
        if (files[i] == 'd')
            summary.files.append({i, source, "/out/x.mp4", Outcome::Done, {}});
        else
            summary.files.append({i, source, "/out/x.mp4", Outcome::Failed, reasons[failures++ % 2]});
    }
    const EndText q = EndMessageText(summary);
    const QStringList lines = q.text.split('\n');
    QCOMPARE(lines.value(0), Lang::Get("IDS_MESSAGEBOX_CONVERT_END"));
    QCOMPARE(lines.value(1), counts);
    QCOMPARE(CountsText(summary), counts);
    QCOMPARE(q.warning, warning);
    QCOMPARE(q.details.size(), details);
    if (details > 0) {
        QVERIFY(q.details[0].startsWith("clip é "));
        QVERIFY(q.details[0].endsWith(": not a media file"));
    }
    if (details > 1)
        QVERIFY(q.details[1].endsWith(": stalled: no progress for 17 s"));
}

QTEST_GUILESS_MAIN(TstEndText)
#include "tst_end_text.moc"
