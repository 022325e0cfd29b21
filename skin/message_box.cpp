#include "skin/message_box.h"

#include "shell/lang.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QDeadlineTimer>
#include <QDialog>
#include <QDialogButtonBox>
#include <QEventLoop>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QMutex>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>

namespace {

QMutex g_answererMutex;
MessageBoxAnswerer g_answerer;

int ShowRealBox(QWidget *owner, const MessageBoxQuestion &q)
{
    QMessageBox box(owner);
    box.setWindowTitle(q.caption);
    box.setText(q.text);
    switch (q.style & 0xF0) {
    case MB_ICONQUESTION: box.setIcon(QMessageBox::Question); break;
    case MB_ICONEXCLAMATION: box.setIcon(QMessageBox::Warning); break;
    case MB_ICONINFORMATION: box.setIcon(QMessageBox::Information); break;
    default: box.setIcon(QMessageBox::NoIcon); break;
    }
    if ((q.style & 0x0F) == MB_YESNO) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::No);
        return box.exec() == QMessageBox::Yes ? IDYES : IDNO;
    }
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
    return IDOK;
}

int Ask(QWidget *owner, const MessageBoxQuestion &q)
{
    MessageBoxAnswerer answerer;
    {
        QMutexLocker lock(&g_answererMutex);
        answerer = g_answerer;
    }
    if (answerer)
        return answerer(q);
    QCoreApplication *app = QCoreApplication::instance();
    if (!qobject_cast<QApplication *>(app))
        return (q.style & 0x0F) == MB_YESNO ? IDNO : IDOK; // no screen to ask on
    if (QThread::currentThread() != app->thread()) {
        int result = IDNO;
        QMetaObject::invokeMethod(
            app, [&] { result = ShowRealBox(owner, q); }, Qt::BlockingQueuedConnection);
        return result;
    }
    return ShowRealBox(owner, q);
}

// Runs the window thread's event loop, as it runs while a person looks at a box, until `until`
// holds or timeoutMs have passed; whether it held. From another thread it waits there, where
// the real box would be shown.
bool RunEventsUntil(const std::function<bool()> &until, int timeoutMs)
{
    QCoreApplication *app = QCoreApplication::instance();
    if (!app)
        return until();
    if (QThread::currentThread() != app->thread()) {
        bool met = false;
        QMetaObject::invokeMethod(
            app, [&] { met = RunEventsUntil(until, timeoutMs); }, Qt::BlockingQueuedConnection);
        return met;
    }
    if (until())
        return true;
    const QDeadlineTimer deadline(timeoutMs);
    QEventLoop loop;
    const auto check = [&] {
        if (until() || deadline.hasExpired())
            loop.quit();
    };
    // Checked after each round of events, and every few milliseconds for a condition that no
    // event of this thread reports (and for the deadline).
    QObject::connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock, &loop, check);
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, check);
    poll.start(10);
    loop.exec();
    return until();
}

} // namespace

int XMessageBox(const QString &text, const QString &caption, unsigned style)
{
    return XMessageBoxEx(nullptr, text, caption, style);
}

int XMessageBoxEx(QWidget *owner, const QString &text, const QString &caption, unsigned style)
{
    MessageBoxQuestion question;
    question.text = text;
    question.caption = caption;
    question.style = style;
    return Ask(owner, question);
}

int XSummaryBox(QWidget *owner, const MessageBoxQuestion &question, const std::function<void(int)> &onAction)
{
    MessageBoxAnswerer answerer;
    {
        QMutexLocker lock(&g_answererMutex);
        answerer = g_answerer;
    }
    if (answerer || !qobject_cast<QApplication *>(QCoreApplication::instance())) {
        const int answer = answerer ? answerer(question) : IDOK;
        if (answer >= kFirstAction && answer - kFirstAction < question.actions.size() && onAction)
            onAction(answer - kFirstAction);
        return IDOK;
    }

    QDialog box(owner);
    box.setWindowTitle(question.caption);
    auto *layout = new QVBoxLayout(&box);
    auto *top = new QHBoxLayout;
    const QStyle::StandardPixmap iconKind =
        (question.style & 0xF0) == MB_ICONEXCLAMATION ? QStyle::SP_MessageBoxWarning : QStyle::SP_MessageBoxInformation;
    auto *icon = new QLabel;
    icon->setPixmap(box.style()->standardIcon(iconKind).pixmap(32, 32));
    icon->setAlignment(Qt::AlignTop);
    top->addWidget(icon);
    auto *text = new QLabel(question.text);
    text->setTextFormat(Qt::PlainText);
    text->setWordWrap(true);
    top->addWidget(text, 1);
    layout->addLayout(top);
    if (!question.details.isEmpty()) {
        // A long list scrolls instead of growing the box past the screen.
        auto *list = new QPlainTextEdit(question.details.join(QLatin1Char('\n')));
        list->setReadOnly(true);
        list->setLineWrapMode(QPlainTextEdit::NoWrap);
        list->setMinimumSize(460, 90);
        list->setMaximumHeight(220);
        layout->addWidget(list);
    }
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok);
    for (int i = 0; i < question.actions.size(); ++i) {
        QPushButton *button = buttons->addButton(question.actions[i], QDialogButtonBox::ActionRole);
        QObject::connect(button, &QPushButton::clicked, &box, [&onAction, i] {
            if (onAction)
                onAction(i);
        });
    }
    QObject::connect(buttons, &QDialogButtonBox::accepted, &box, &QDialog::accept);
    layout->addWidget(buttons);
    box.exec();
    return IDOK;
}

int XMessageBoxKey(const QString &textKey, unsigned style, const QString &captionKey)
{
    return XMessageBox(Lang::Get(textKey), Lang::Get(captionKey), style);
}

void SetMessageBoxAnswerer(MessageBoxAnswerer answerer)
{
    QMutexLocker lock(&g_answererMutex);
    g_answerer = std::move(answerer);
}

struct ScriptedMessageBox::Shared {
    struct Later {
        std::function<bool()> until;
        int answer;
        int timeoutMs;
    };
    QMutex mutex;
    QList<MessageBoxQuestion> questions;
    int answer = IDOK;
    MessageBoxAnswerer function;
    QList<Later> later;
    bool timedOut = false;
};

ScriptedMessageBox::ScriptedMessageBox(int answer)
    : m_shared(new Shared)
{
    m_shared->answer = answer;
    Shared *s = m_shared;
    SetMessageBoxAnswerer([s](const MessageBoxQuestion &q) {
        QMutexLocker lock(&s->mutex);
        s->questions.append(q);
        if (!s->later.isEmpty()) {
            const Shared::Later later = s->later.takeFirst();
            lock.unlock();
            const bool met = RunEventsUntil(later.until, later.timeoutMs);
            lock.relock();
            s->timedOut = s->timedOut || !met;
            return later.answer;
        }
        if (s->function) {
            MessageBoxAnswerer f = s->function;
            lock.unlock();
            return f(q);
        }
        return s->answer;
    });
}

ScriptedMessageBox::ScriptedMessageBox(MessageBoxAnswerer answerer)
    : ScriptedMessageBox(IDOK)
{
    m_shared->function = std::move(answerer);
}

ScriptedMessageBox::~ScriptedMessageBox()
{
    SetMessageBoxAnswerer(nullptr);
    delete m_shared;
}

QList<MessageBoxQuestion> ScriptedMessageBox::Questions() const
{
    QMutexLocker lock(&m_shared->mutex);
    return m_shared->questions;
}

void ScriptedMessageBox::SetAnswer(int answer)
{
    QMutexLocker lock(&m_shared->mutex);
    m_shared->answer = answer;
}

void ScriptedMessageBox::AnswerAfter(std::function<bool()> until, int answer, int timeoutMs)
{
    QMutexLocker lock(&m_shared->mutex);
    m_shared->later.append({std::move(until), answer, timeoutMs});
}

bool ScriptedMessageBox::HasTimedOut() const
{
    QMutexLocker lock(&m_shared->mutex);
    return m_shared->timedOut;
}
