#include "movie_test_support.h"

#include "platform/power_inhibit.h"
#include "skin/image_button.h"
#include "widgets/file_list_ctrl.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTest>

#include <fcntl.h>
#include <poll.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

MovieFolders::MovieFolders()
{
    // Sleep inhibition: a descriptor on /dev/null stands for logind's lock.
    platform::PowerInhibit::SetBackend(
        [](const QString &) -> std::optional<int> { return ::open("/dev/null", O_RDONLY | O_CLOEXEC); });
    m_saveFolder = m_tmp.path() + "/saved/";
    m_inputFolder = m_tmp.path() + "/in/";
    QDir().mkpath(m_saveFolder);
    QDir().mkpath(m_inputFolder);
}

MovieFolders::~MovieFolders() { platform::PowerInhibit::SetBackend(nullptr); }

QString MovieFolders::Script(const QString &name, const QString &script, const QString &folder)
{
    const QString path = (folder.isEmpty() ? m_inputFolder : folder) + name;
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(script.toUtf8());
    return path;
}

QStringList MovieFolders::EngineLog(const QString &input) const
{
    QFile f(input + ".log");
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts);
}

std::string ScriptEnginePath() { return (QCoreApplication::applicationDirPath() + "/fp_script_engine").toStdString(); }

void UseTestTimings(engine::EngineProcess &engine, const std::string &enginePath)
{
    engine.SetEnginePath(enginePath);
    engine::EngineTimings timings;
    timings.connectLimit = std::chrono::milliseconds(1500);
    engine.SetTimings(timings);
}

// --- the run alone -------------------------------------------------------------------------

RunFixture::RunFixture()
    : m_run(std::make_unique<MovieRun>(m_engine))
{
    UseTestTimings(m_engine, ScriptEnginePath());
    MovieRunTimings timings;
    timings.tickMs = 3600 * 1000; // never fires: tests tick by hand
    timings.stopGraceMs = 300;
    timings.clockMs = [this] { return m_clockMs; };
    m_run->SetTimings(timings);
    m_request.outputFolder = OutputFolder(SaveFolder());
    m_request.encode.SetDefaults(true);
    m_ends = std::make_unique<QSignalSpy>(m_run.get(), &MovieRun::fileEnded);
    m_summaries = std::make_unique<QSignalSpy>(m_run.get(), &MovieRun::runEnded);
    m_progress = std::make_unique<QSignalSpy>(m_run.get(), &MovieRun::progressChanged);
}

RunFixture::~RunFixture() { m_run.reset(); }

void RunFixture::AddJob(const QString &script)
{
    const int row = int(m_request.jobs.size());
    m_request.jobs.append({row, Script(QStringLiteral("clip%1.mp4").arg(row), script)});
}

bool RunFixture::WaitUntilSettled(int ms)
{
    // Let queued engine reports arrive first, then wait for a converting file or the end.
    QCoreApplication::processEvents();
    return QTest::qWaitFor(
        [this] { return !m_run->IsActive() || m_run->CurrentState() == MovieRun::State::Converting; }, ms);
}

bool RunFixture::WaitForEnd(int ms)
{
    return QTest::qWaitFor([this] { return !m_run->IsActive(); }, ms);
}

void RunFixture::Tick(int n)
{
    for (int i = 0; i < n; ++i) {
        m_clockMs += 1000;
        m_run->Tick();
    }
}

QList<FileEnd> RunFixture::Ends() const
{
    QList<FileEnd> ends;
    for (const QList<QVariant> &args : *m_ends)
        ends << args[0].value<FileEnd>();
    return ends;
}

QList<RunSummary> RunFixture::Summaries() const
{
    QList<RunSummary> summaries;
    for (const QList<QVariant> &args : *m_summaries)
        summaries << args[0].value<RunSummary>();
    return summaries;
}

QList<RunProgress> RunFixture::Progress() const
{
    QList<RunProgress> progress;
    for (const QList<QVariant> &args : *m_progress)
        progress << args[0].value<RunProgress>();
    return progress;
}

// --- the page ------------------------------------------------------------------------------

MovieFixture::MovieFixture(int tickMs)
    : m_box(std::make_unique<ScriptedMessageBox>(IDOK))
{
    m_window = std::make_unique<MovieWindow>(nullptr, SkinDialog::Kind::Window);
    m_window->SetOutputFolder(OutputFolder(SaveFolder()));
    UseTestTimings(m_window->Engine(), ScriptEnginePath());
    MovieRunTimings timings;
    timings.tickMs = tickMs;
    timings.stopGraceMs = 300;
    m_window->Run().SetTimings(timings);
    m_window->show();
}

MovieFixture::~MovieFixture() { m_window.reset(); }

void MovieFixture::AddScripts(const QStringList &scripts)
{
    for (const QString &script : scripts)
        m_window->Rows().AddFile(Script(QStringLiteral("clip%1.mp4").arg(Model().RowCount()), script));
}

void MovieFixture::Click(int id) { QTest::mouseClick(m_window->Button(id), Qt::LeftButton); }

bool MovieFixture::WaitUntilConverting(int ms)
{
    return QTest::qWaitFor([this] { return Run().CurrentState() == MovieRun::State::Converting; }, ms);
}

bool MovieFixture::WaitForEnd(int ms)
{
    return QTest::qWaitFor([this] { return !m_window->IsRunActive(); }, ms);
}

QList<int> MovieFixture::Statuses()
{
    QList<int> codes;
    for (const KeptRow &row : Model().KeptRows())
        codes << int(row.status);
    return codes;
}

QStringList MovieFixture::BoxTexts() const
{
    QStringList texts;
    for (const MessageBoxQuestion &q : m_box->Questions())
        texts << q.text;
    return texts;
}

MovieControls ControlsOf(MovieWindow &w)
{
    using W = MovieWindow;
    return {w.Button(W::kConvertId),
            w.Button(W::kCancelId),
            w.Button(W::kPauseId),
            w.Button(W::kResumeId),
            w.Button(W::kAddId),
            w.Button(W::kDeleteId),
            w.Button(W::kOptionId),
            w.Button(W::kHdId),
            w.Button(W::kSdId),
            w.Button(W::kDeleteSourcesId),
            w.Button(W::kShutDownId),
            w.Button(W::kFolderLabelId),
            w.Button(W::kOpenFolderId),
            w.Label(0),
            w.Label(1),
            w.Label(2),
            w.Label(3),
            w.Label(4),
            w.CurrentBar(),
            w.TotalBar()};
}

bool WaitForExit(pid_t pid, int ms)
{
    // A pidfd turns readable when the process ends, which poll waits for.
    const int fd = int(::syscall(SYS_pidfd_open, pid, 0));
    if (fd < 0)
        return false;
    pollfd p{fd, POLLIN, 0};
    const int ready = ::poll(&p, 1, ms);
    ::close(fd);
    return ready == 1;
}

bool NoChildLeft() { return ::waitpid(-1, nullptr, WNOHANG) == -1 && errno == ECHILD; }
