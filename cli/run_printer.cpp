#include "cli/run_printer.h"

#include "platform/native_name.h"
#include "run/end_text.h"
#include "run/progress_text.h"
#include "run/reason_text.h"
#include "shell/lang.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <sys/ioctl.h>
#include <unistd.h>
#include <cwchar>

namespace {

QString T(const char *key) { return Lang::Get(QString::fromLatin1(key)); }

// A name may hold control characters: escaped, none can move a terminal's cursor or start a line.
QString Printable(const QString &name)
{
    const QString text = platform::ShownName(name);
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x20 || (u >= 0x7f && u < 0xa0) || u == 0x2028 || u == 0x2029)
            out += QStringLiteral("\\x%1").arg(int(u), 2, 16, QChar('0'));
        else
            out += c;
    }
    return out;
}

QString Numbered(const CliFile &file, const QString &status)
{
    if (file.number <= 0)
        return status + QStringLiteral(": ");
    return QStringLiteral("[%1/%2] ").arg(file.number).arg(file.total) + status + QStringLiteral(": ");
}

QString StartLine(const CliFile &file, const QString &outputPath)
{
    return Numbered(file, T("IDS_STATUS_CONVERT")) + Printable(file.shown) + QStringLiteral(" -> ")
           + Printable(outputPath);
}

QString EndLine(const CliFile &file, const FileEnd &end)
{
    switch (end.outcome) {
    case Outcome::Done:
        return Numbered(file, T("IDS_STATUS_COMPLATE")) + Printable(file.shown) + QStringLiteral(" -> ")
               + Printable(end.outputPath);
    case Outcome::Failed:
        return Numbered(file, T("IDS_STATUS_FAIL")) + Printable(file.shown) + QStringLiteral(": ")
               + ReasonText(end.reason);
    case Outcome::Cancelled:
    case Outcome::Stopped: break;
    }
    return Numbered(file, T("IDS_CLI_NOT_CONVERTED")) + Printable(file.shown);
}

QStringList SummaryLines(const CliSummary &summary)
{
    EndText end = EndMessageText(summary.all, EndReport{summary.kept, std::nullopt});
    if (summary.all.end == RunEnd::Cancelled)
        end.text = T("IDS_CLI_CANCELLED") + QLatin1Char('\n') + CountsText(summary.all);
    QStringList lines = end.text.split(QLatin1Char('\n'));
    for (const QString &detail : end.details)
        lines << QStringLiteral("  ") + Printable(detail);
    if (!summary.trashed.isEmpty())
        lines << T("IDS_CLI_TRASHED").arg(summary.trashed.size());
    return lines;
}

QString SecondsText(int seconds) { return seconds < 0 ? QStringLiteral(" —") : ElapsedText(seconds); }

// --- plain lines -----------------------------------------------------------------------------

class LinePrinter : public RunPrinter {
public:
    using RunPrinter::RunPrinter;

    void FileStarted(const CliFile &file, const QString &outputPath) override
    {
        Write(m_out, StartLine(file, outputPath) + QLatin1Char('\n'));
    }
    void Progress(const CliFile &, const RunProgress &) override {}
    void FileEnded(const CliFile &file, const FileEnd &end) override
    {
        Write(m_out, EndLine(file, end) + QLatin1Char('\n'));
    }
    void RunEnded(const QString &, const RunSummary &) override {}
    void Summary(const CliSummary &summary) override
    {
        Write(m_out, SummaryLines(summary).join(QLatin1Char('\n')) + QLatin1Char('\n'));
    }
};

// --- a terminal ------------------------------------------------------------------------------

// Two live lines, the file in work and the run, redrawn in place below the lines of the files
// that ended; each is cut to the terminal's width, so that none wraps and the redraw stays
// in place.
class TerminalPrinter : public RunPrinter {
public:
    using RunPrinter::RunPrinter;

    void FileStarted(const CliFile &file, const QString &) override
    {
        m_file = file;
        // The run's figures stay until the next report; the file's start afresh.
        m_progress.currentPercent = 0;
        m_progress.speedFactor = -1.0f;
        m_progress.fileSecondsLeft = -1;
        Redraw();
    }
    void Progress(const CliFile &file, const RunProgress &progress) override
    {
        m_file = file.row >= 0 ? std::optional(file) : std::nullopt;
        m_progress = progress;
        Redraw();
    }
    void FileEnded(const CliFile &file, const FileEnd &end) override
    {
        Write(m_out, ClearLive() + EndLine(file, end) + QLatin1Char('\n'));
        m_file.reset();
    }
    void RunEnded(const QString &, const RunSummary &) override
    {
        Write(m_out, ClearLive());
        m_file.reset();
        m_progress = RunProgress{};
    }
    void Summary(const CliSummary &summary) override
    {
        Write(m_out, ClearLive() + SummaryLines(summary).join(QLatin1Char('\n')) + QLatin1Char('\n'));
    }
    void Message(const QString &text) override
    {
        const bool live = m_liveLines > 0;
        Write(m_out, ClearLive());
        RunPrinter::Message(text);
        if (live)
            Redraw();
    }

private:
    QString ClearLive()
    {
        QString text;
        if (m_liveLines > 0)
            text = QStringLiteral("\r\x1b[K");
        for (int i = 1; i < m_liveLines; ++i)
            text += QStringLiteral("\x1b[1A\r\x1b[K");
        m_liveLines = 0;
        return text;
    }

    // The file's line while one is in work, and the run's.
    void Redraw()
    {
        const RunProgress &p = m_progress;
        const int width = Columns();
        QString text = ClearLive();
        if (m_file) {
            QString fileLine =
                QStringLiteral("[%1/%2] %3%").arg(m_file->number).arg(m_file->total).arg(p.currentPercent, 3);
            if (m_file->mode == QLatin1String("movie"))
                fileLine +=
                    QStringLiteral("  ") + T("IDS_STR_SPEED")
                    + (p.speedFactor < 0 ? QStringLiteral(" —") : QString::asprintf(" x%.2f", double(p.speedFactor)));
            fileLine += QStringLiteral("  ") + T("IDS_TIME_LEFT_TITLE") + SecondsText(p.fileSecondsLeft)
                        + QStringLiteral("  ") + Printable(m_file->shown);
            text += Fit(fileLine, width) + QLatin1Char('\n');
            m_liveLines = 1;
        }
        const QString runLine = T("IDS_TOTAL_TITLE") + QStringLiteral(" %1%").arg(p.totalPercent, 3)
                                + QStringLiteral("  ") + T("IDS_TIME_TITLE") + ElapsedText(p.elapsedSeconds)
                                + QStringLiteral("  ") + T("IDS_TIME_LEFT_TITLE") + SecondsText(p.batchSecondsLeft);
        Write(m_out, text + Fit(runLine, width));
        ++m_liveLines;
    }

    int Columns() const
    {
        winsize size{};
        if (::ioctl(::fileno(m_out), TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
            return size.ws_col;
        return 80;
    }

    // The line cut to width - 1 columns (wide letters take two), "…" where it was cut.
    static QString Fit(const QString &line, int width)
    {
        const int limit = qMax(2, width - 1);
        const QList<uint> codePoints = line.toUcs4();
        const auto columns = [](uint c) {
            const int w = ::wcwidth(wchar_t(c));
            return w >= 0 ? w : 1; // a locale that does not know the letter: one column, as most show it
        };
        int total = 0;
        for (uint c : codePoints)
            total += columns(c);
        if (total <= limit)
            return line;
        int used = 0;
        qsizetype kept = 0;
        while (kept < codePoints.size() && used + columns(codePoints[kept]) <= limit - 1)
            used += columns(codePoints[kept++]);
        return QString::fromUcs4(reinterpret_cast<const char32_t *>(codePoints.constData()), kept)
               + QStringLiteral("…");
    }

    std::optional<CliFile> m_file; // in work
    RunProgress m_progress;
    int m_liveLines = 0;
};

// --- JSON lines ------------------------------------------------------------------------------

QJsonValue SecondsValue(int seconds) { return seconds < 0 ? QJsonValue() : QJsonValue(seconds); }

QString OutcomeName(Outcome outcome)
{
    switch (outcome) {
    case Outcome::Done: return QStringLiteral("done");
    case Outcome::Failed: return QStringLiteral("failed");
    case Outcome::Cancelled: return QStringLiteral("cancelled");
    case Outcome::Stopped: return QStringLiteral("stopped");
    }
    return {};
}

QString RunEndName(RunEnd end)
{
    switch (end) {
    case RunEnd::Finished: return QStringLiteral("finished");
    case RunEnd::Cancelled: return QStringLiteral("cancelled");
    case RunEnd::Stopped: return QStringLiteral("stopped");
    case RunEnd::EngineMissing: return QStringLiteral("engine-missing");
    }
    return {};
}

class JsonPrinter : public RunPrinter {
public:
    using RunPrinter::RunPrinter;

    void FileStarted(const CliFile &file, const QString &outputPath) override
    {
        QJsonObject o = Event("fileStarted", file);
        o[QStringLiteral("output")] = platform::ShownName(outputPath);
        Emit(o);
    }
    void Progress(const CliFile &file, const RunProgress &p) override
    {
        QJsonObject o = Event("progress", file);
        o[QStringLiteral("filePercent")] = p.currentPercent;
        o[QStringLiteral("runPercent")] = p.totalPercent;
        o[QStringLiteral("elapsedSeconds")] = p.elapsedSeconds;
        if (file.mode == QLatin1String("movie"))
            o[QStringLiteral("speed")] = p.speedFactor < 0 ? QJsonValue() : QJsonValue(double(p.speedFactor));
        o[QStringLiteral("fileSecondsLeft")] = SecondsValue(p.fileSecondsLeft);
        o[QStringLiteral("runSecondsLeft")] = SecondsValue(p.batchSecondsLeft);
        Emit(o);
    }
    void FileEnded(const CliFile &file, const FileEnd &end) override
    {
        QJsonObject o = Event("fileEnded", file);
        o[QStringLiteral("outcome")] = OutcomeName(end.outcome);
        if (end.outcome == Outcome::Done)
            o[QStringLiteral("output")] = platform::ShownName(end.outputPath);
        if (end.reason.kind != ReasonKind::None) {
            o[QStringLiteral("reason")] = ReasonText(end.reason);
            o[QStringLiteral("reasonKey")] = ReasonKey(end.reason);
        }
        Emit(o);
    }
    void RunEnded(const QString &mode, const RunSummary &summary) override
    {
        Emit({{QStringLiteral("event"), QStringLiteral("runEnded")},
              {QStringLiteral("mode"), mode},
              {QStringLiteral("end"), RunEndName(summary.end)},
              {QStringLiteral("converted"), summary.Count(Outcome::Done)},
              {QStringLiteral("failed"), summary.Count(Outcome::Failed)}});
    }
    void Summary(const CliSummary &summary) override
    {
        QJsonArray trashed;
        for (const FileEnd &file : summary.trashed)
            trashed.append(platform::ShownName(file.sourcePath));
        QJsonArray kept;
        for (const KeptSource &source : summary.kept) {
            kept.append(QJsonObject{
                {QStringLiteral("source"), platform::ShownName(source.sourcePath)},
                {QStringLiteral("why"), source.why.error.isEmpty() ? T("IDS_REASON_NO_TRASH") : source.why.error}});
        }
        Emit({{QStringLiteral("event"), QStringLiteral("summary")},
              {QStringLiteral("files"), summary.files},
              {QStringLiteral("converted"), summary.all.Count(Outcome::Done)},
              {QStringLiteral("failed"), summary.all.Count(Outcome::Failed)},
              {QStringLiteral("cancelled"), summary.all.end == RunEnd::Cancelled},
              {QStringLiteral("trashed"), trashed},
              {QStringLiteral("kept"), kept},
              {QStringLiteral("text"), QJsonArray::fromStringList(SummaryLines(summary))},
              {QStringLiteral("exitStatus"), summary.exitStatus}});
    }

private:
    static QJsonObject Event(const char *name, const CliFile &file)
    {
        QJsonObject o{{QStringLiteral("event"), QString::fromLatin1(name)},
                      {QStringLiteral("mode"), file.mode.isEmpty() ? QJsonValue() : QJsonValue(file.mode)}};
        if (file.row >= 0) { // else the run's progress between its files
            o[QStringLiteral("index")] = file.row;
            o[QStringLiteral("file")] = platform::ShownName(file.shown);
            o[QStringLiteral("source")] = platform::ShownName(file.path);
        }
        if (file.number > 0) {
            o[QStringLiteral("number")] = file.number;
            o[QStringLiteral("total")] = file.total;
        }
        return o;
    }
    void Emit(const QJsonObject &o)
    {
        Write(m_out, QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact)) + '\n');
    }
};

} // namespace

std::unique_ptr<RunPrinter> RunPrinter::Make(Style style, FILE *out, FILE *err)
{
    switch (style) {
    case Style::Terminal: return std::unique_ptr<RunPrinter>(new TerminalPrinter(out, err));
    case Style::Lines: return std::unique_ptr<RunPrinter>(new LinePrinter(out, err));
    case Style::Json: break;
    }
    return std::unique_ptr<RunPrinter>(new JsonPrinter(out, err));
}

void RunPrinter::Message(const QString &text) { Write(m_err, text + QLatin1Char('\n')); }

void RunPrinter::Write(FILE *file, const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), file);
    std::fflush(file);
}
