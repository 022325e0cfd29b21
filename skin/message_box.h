#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

class QWidget;

// Every question and notice to the user goes through XMessageBox. Styles and results are the
// Windows message-box values that callers compare against.
constexpr unsigned MB_OK = 0x00;
constexpr unsigned MB_YESNO = 0x04;
constexpr unsigned MB_ICONQUESTION = 0x20;
constexpr unsigned MB_ICONEXCLAMATION = 0x30;
constexpr unsigned MB_ICONINFORMATION = 0x40;

constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

// Shows a modal box with text and caption (already looked up; see XMessageBoxKey) and
// returns the button pressed: IDOK for the OK styles (0, 0x20, 0x30, 0x40), IDYES or IDNO for
// 0x24 (Escape and closing give IDNO). A question proceeds only on IDYES. Safe to call from
// another thread: the box is shown on the window thread, which the caller waits for.
int XMessageBox(const QString &text, const QString &caption, unsigned style);
int XMessageBoxEx(QWidget *owner, const QString &text, const QString &caption, unsigned style);
// Looks both keys up in the language file first (caption "IDS_MESSAGEBOX_INFO" by default).
int XMessageBoxKey(const QString &textKey, unsigned style,
                   const QString &captionKey = QStringLiteral("IDS_MESSAGEBOX_INFO"));

// One question as it reached the message box.
struct MessageBoxQuestion {
    QString text;
    QString caption;
    unsigned style = 0;
    QStringList details; // a summary box's scrollable list
    QStringList actions; // a summary box's buttons beside OK
};

// A notice with a scrollable list under its text (when details are given) and action buttons
// beside OK: onAction(i) runs each time action i is pressed, and the box stays open. Returns
// IDOK once closed. A test answerer returning kFirstAction + i has action i run, then the box
// counts as closed.
constexpr int kFirstAction = 100;
int XSummaryBox(QWidget *owner, const MessageBoxQuestion &question, const std::function<void(int)> &onAction);

// The test seam: while an answerer is set it replaces the person in front of the screen.
// nullptr restores the real box.
using MessageBoxAnswerer = std::function<int(const MessageBoxQuestion &)>;
void SetMessageBoxAnswerer(MessageBoxAnswerer answerer);

// For tests: answers every box with a fixed code (or through a function) for its lifetime and
// records every question asked, in order.
//   ScriptedMessageBox box(IDYES);  ...  QCOMPARE(box.Questions().size(), 1);
// A person's event loop keeps running while a box is open, so engine reports and queued calls
// arrive before the answer; AnswerAfter plays that:
//   box.AnswerAfter([&] { return finishedSpy.count() == 1; }, IDYES);
class ScriptedMessageBox {
public:
    explicit ScriptedMessageBox(int answer = IDOK);
    explicit ScriptedMessageBox(MessageBoxAnswerer answerer);
    ~ScriptedMessageBox();
    ScriptedMessageBox(const ScriptedMessageBox &) = delete;
    ScriptedMessageBox &operator=(const ScriptedMessageBox &) = delete;

    QList<MessageBoxQuestion> Questions() const;
    void SetAnswer(int answer);

    // The next question not yet claimed waits with the window thread's event loop running
    // until `until` holds, then gets `answer` (one call per question, in order). After
    // timeoutMs it gets `answer` all the same and HasTimedOut() says so: a wrong test fails
    // rather than hangs.
    void AnswerAfter(std::function<bool()> until, int answer, int timeoutMs = 10000);
    bool HasTimedOut() const;

private:
    struct Shared;
    Shared *m_shared;
};
