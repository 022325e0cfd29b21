#include "cli/cli_driver.h"

#include "shell/lang.h"

#include <QFileInfo>

#include <algorithm>

CliDriver::CliDriver(RunPrinter &printer, QStringList shown, bool trashSources, QObject *parent)
    : QObject(parent)
    , m_printer(printer)
    , m_shown(std::move(shown))
    , m_trashSources(trashSources)
{
}

void CliDriver::AddRefused(const QList<FileEnd> &refused) { m_refused += refused; }

void CliDriver::AddRun(const QString &mode, Run &run, const RunRequest &request)
{
    Stage stage{mode, &run, request, {}};
    for (const RunJob &job : request.jobs)
        stage.numberOfRow.insert(job.id, ++m_jobs);
    m_stages.append(stage);
}

CliFile CliDriver::FileOf(int row) const
{
    CliFile file;
    file.row = row;
    file.shown = row >= 0 && row < m_shown.size() ? m_shown[row] : QString();
    if (m_current >= 0 && m_current < m_stages.size()) {
        const Stage &stage = m_stages[m_current];
        file.mode = stage.mode;
        file.number = stage.numberOfRow.value(row);
        file.total = m_jobs;
        for (const RunJob &job : stage.request.jobs) {
            if (job.id == row)
                file.path = job.sourcePath;
        }
    }
    return file;
}

void CliDriver::Start()
{
    m_summary.files = int(m_refused.size()) + m_jobs;
    for (const FileEnd &end : m_refused) {
        CliFile file = FileOf(end.id);
        file.path = end.sourcePath;
        m_printer.FileEnded(file, end);
        m_summary.all.files.append(end);
    }
    // Never from inside Start: the caller connects to finished first.
    QMetaObject::invokeMethod(this, &CliDriver::StartNext, Qt::QueuedConnection);
}

void CliDriver::StartNext()
{
    while (++m_current < m_stages.size()) {
        const Stage &stage = m_stages[m_current];
        if (stage.request.jobs.isEmpty())
            continue;
        if (m_interrupted)
            break;
        Run *run = stage.run;
        connect(run, &Run::fileStarted, this, [this](int row, const QString &outputPath) {
            m_currentRow = row;
            m_printer.FileStarted(FileOf(row), outputPath);
        });
        connect(run, &Run::progressChanged, this,
                [this](const RunProgress &progress) { m_printer.Progress(FileOf(m_currentRow), progress); });
        connect(run, &Run::fileEnded, this, [this](const FileEnd &end) {
            m_printer.FileEnded(FileOf(end.id), end);
            m_currentRow = -1; // progress until the next start is the run's alone
        });
        connect(run, &Run::runEnded, this, &CliDriver::OnRunEnded);
        if (run->Start(stage.request))
            return;
        disconnect(run, nullptr, this, nullptr);
    }
    Finish();
}

void CliDriver::Interrupt()
{
    if (m_finished || m_interrupted)
        return;
    m_interrupted = true;
    if (m_current >= 0 && m_current < m_stages.size() && m_stages[m_current].run->IsActive())
        m_stages[m_current].run->Cancel();
}

void CliDriver::OnRunEnded(const RunSummary &ended)
{
    const Stage &stage = m_stages[m_current];
    disconnect(stage.run, nullptr, this, nullptr);
    m_currentRow = -1;
    m_printer.RunEnded(stage.mode, ended);
    if (ended.end == RunEnd::EngineMissing)
        m_printer.Message(Lang::Get(QStringLiteral("IDS_ERR_ENGINE_CREATE_FAIL")));
    m_summary.all.files += ended.files;

    RunSummary summary = ended;
    summary.choices.deleteSources = m_trashSources;
    if (DecideEndActions(summary).trashSources) {
        const TrashReport trashed = TrashSources(summary.Files(Outcome::Done));
        m_summary.trashed += trashed.gone;
        m_summary.kept += trashed.kept;
    }
    // The run finishes its own teardown before the next one starts.
    QMetaObject::invokeMethod(this, &CliDriver::StartNext, Qt::QueuedConnection);
}

void CliDriver::Finish()
{
    m_finished = true;
    RunSummary &all = m_summary.all;
    std::stable_sort(all.files.begin(), all.files.end(),
                     [](const FileEnd &a, const FileEnd &b) { return a.id < b.id; });
    const int converted = all.Count(Outcome::Done);
    all.end = m_interrupted ? RunEnd::Cancelled : RunEnd::Finished;
    m_summary.exitStatus = m_interrupted ? kInterrupted : converted == m_summary.files ? kAllConverted : kSomeFailed;
    m_printer.Summary(m_summary);
    emit finished(m_summary.exitStatus);
}
