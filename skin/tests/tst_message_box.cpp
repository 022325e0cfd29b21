#include "shell/lang.h"
#include "skin/message_box.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <thread>

namespace {

// Presses a button of the real box once it is up; what the answerer seam stands in for.
void PressWhenShown(QMessageBox::StandardButton which, bool escape = false)
{
    auto attempt = std::make_shared<std::function<void()>>();
    *attempt = [which, escape, attempt] {
        for (QWidget *w : QApplication::topLevelWidgets()) {
            auto *box = qobject_cast<QMessageBox *>(w);
            if (!box || !box->isVisible())
                continue;
            if (escape)
                QTest::keyClick(box, Qt::Key_Escape);
            else
                box->button(which)->click();
            return;
        }
        QTimer::singleShot(10, *attempt);
    };
    QTimer::singleShot(10, *attempt);
}

} // namespace

class TstMessageBox : public QObject {
    Q_OBJECT
private slots:
    void scriptedAnswersAreRecorded()
    {
        ScriptedMessageBox box(IDYES);
        QCOMPARE(XMessageBox("Stop it and quit?", "Framepress", MB_YESNO | MB_ICONQUESTION), IDYES);
        box.SetAnswer(IDNO);
        QCOMPARE(XMessageBoxKey("IDS_MESSAGEBOX_CONVERTING", MB_ICONEXCLAMATION), IDNO);
        QCOMPARE(XMessageBoxKey("IDS_ERR_ENGINE_CREATE_FAIL", MB_OK, "IDS_WORD_ERROR"), IDNO);

        const auto asked = box.Questions();
        QCOMPARE(asked.size(), 3);
        QCOMPARE(asked[0].text, QString("Stop it and quit?"));
        QCOMPARE(asked[0].style, 0x24u);
        QCOMPARE(asked[1].text, Lang::Get("IDS_MESSAGEBOX_CONVERTING"));
        QCOMPARE(asked[1].caption, Lang::Get("IDS_MESSAGEBOX_INFO"));
        QCOMPARE(asked[1].style, 0x30u);
        QCOMPARE(asked[2].caption, Lang::Get("IDS_WORD_ERROR"));
        QVERIFY(!asked[2].caption.isEmpty());
    }

    void answererFunctionSeesTheQuestion()
    {
        ScriptedMessageBox box([](const MessageBoxQuestion &q) { return q.text.contains("quit") ? IDNO : IDYES; });
        QCOMPARE(XMessageBox("quit now?", "c", 0x24), IDNO);
        QCOMPARE(XMessageBox("delete?", "c", 0x24), IDYES);
        QCOMPARE(box.Questions().size(), 2);
    }

    void questionsFromAnotherThreadAreRecorded()
    {
        ScriptedMessageBox box(IDYES);
        int answer = 0;
        std::thread worker([&answer] { answer = XMessageBox("from worker", "c", MB_ICONINFORMATION); });
        worker.join();
        QCOMPARE(answer, IDYES);
        QCOMPARE(box.Questions().size(), 1);
    }

    // Work queued before the question (an engine report, a queued call, a due timer) reaches
    // its receiver while the question is open, as it does while a person reads the box.
    void answerAfterDeliversWhatWasQueuedWhileTheQuestionIsOpen_data()
    {
        QTest::addColumn<QString>("from");
        QTest::newRow("queued call") << "queued call";
        QTest::newRow("zero timer") << "zero timer";
        QTest::newRow("event posted by another thread") << "other thread";
    }

    void answerAfterDeliversWhatWasQueuedWhileTheQuestionIsOpen()
    {
        QFETCH(QString, from);
        bool open = false, arrived = false, arrivedWhileOpen = false;
        const auto arrive = [&] {
            arrived = true;
            arrivedWhileOpen = open;
        };
        QObject receiver;
        if (from == "queued call") {
            QMetaObject::invokeMethod(&receiver, arrive, Qt::QueuedConnection);
        } else if (from == "zero timer") {
            QTimer::singleShot(0, &receiver, arrive);
        } else {
            std::thread reader([&] { QMetaObject::invokeMethod(&receiver, arrive, Qt::QueuedConnection); });
            reader.join();
        }

        ScriptedMessageBox box(IDNO);
        box.AnswerAfter([&] { return arrived; }, IDYES);
        open = true;
        const int answer = XMessageBox("Stop it and quit?", "c", MB_YESNO | MB_ICONQUESTION);
        open = false;
        QCOMPARE(answer, IDYES);
        QVERIFY(arrivedWhileOpen);
        QVERIFY(!box.HasTimedOut());
        // Only that question waited; the next one gets the fixed answer.
        QCOMPARE(XMessageBox("again?", "c", MB_YESNO), IDNO);
        QCOMPARE(box.Questions().size(), 2);
    }

    void answerAfterGivesUpAtItsDeadline()
    {
        ScriptedMessageBox box;
        box.AnswerAfter([] { return false; }, IDYES, 50);
        QCOMPARE(XMessageBox("never?", "c", MB_YESNO), IDYES);
        QVERIFY(box.HasTimedOut());
    }

    // A worker's question waits on the window thread, where the real box would be open, so
    // the condition may read what only that thread touches.
    void answerAfterForAWorkersQuestionWaitsOnTheWindowThread()
    {
        ScriptedMessageBox box;
        QObject receiver;
        bool arrived = false;
        std::atomic_bool onlyOnWindowThread{true};
        box.AnswerAfter(
            [&] {
                onlyOnWindowThread = onlyOnWindowThread && QThread::currentThread() == receiver.thread();
                return arrived;
            },
            IDYES);
        std::atomic_int answer{0};
        std::thread worker([&] {
            QMetaObject::invokeMethod(
                &receiver, [&] { arrived = true; }, Qt::QueuedConnection);
            answer = XMessageBox("from worker", "c", MB_YESNO);
        });
        QTRY_COMPARE(answer.load(), IDYES);
        worker.join();
        QVERIFY(onlyOnWindowThread);
        QVERIFY(!box.HasTimedOut());
    }

    void realBoxReturnsWindowsCodes_data()
    {
        QTest::addColumn<unsigned>("style");
        QTest::addColumn<int>("press");
        QTest::addColumn<bool>("escape");
        QTest::addColumn<int>("result");
        QTest::newRow("ok") << 0u << int(QMessageBox::Ok) << false << IDOK;
        QTest::newRow("question ok") << 0x20u << int(QMessageBox::Ok) << false << IDOK;
        QTest::newRow("exclamation") << 0x30u << int(QMessageBox::Ok) << false << IDOK;
        QTest::newRow("information") << 0x40u << int(QMessageBox::Ok) << false << IDOK;
        QTest::newRow("yes") << 0x24u << int(QMessageBox::Yes) << false << IDYES;
        QTest::newRow("no") << 0x24u << int(QMessageBox::No) << false << IDNO;
        QTest::newRow("escape is no") << 0x24u << 0 << true << IDNO;
    }

    void realBoxReturnsWindowsCodes()
    {
        QFETCH(unsigned, style);
        QFETCH(int, press);
        QFETCH(bool, escape);
        QFETCH(int, result);
        PressWhenShown(QMessageBox::StandardButton(press), escape);
        QCOMPARE(XMessageBox("text", "caption", style), result);
    }

    // The scripted answerer is gone with its scope: the real box (answered here) is back.
    void seamIsRestored()
    {
        {
            ScriptedMessageBox box(IDYES);
        }
        PressWhenShown(QMessageBox::No);
        QCOMPARE(XMessageBox("text", "caption", 0x24), IDNO);
    }

    void realBoxFromAWorkerRunsOnTheWindowThread()
    {
        int answer = 0;
        std::atomic_bool done{false};
        std::thread worker([&] {
            answer = XMessageBox("from worker", "c", 0x24);
            done = true;
        });
        PressWhenShown(QMessageBox::Yes);
        QTRY_VERIFY(done);
        worker.join();
        QCOMPARE(answer, IDYES);
    }
};

QTEST_MAIN(TstMessageBox)
#include "tst_message_box.moc"
