#include "run/run_log.h"

#include "platform/atomic_write.h"
#include "platform/native_name.h"
#include "platform/private_folder.h"
#include "run/reason_text.h"
#include "run/state_folder.h"

#include <QFile>
#include <QUuid>

#include <cstdlib>

namespace {

// An old log is read from its end at most this far; a cut lands before the first marker.
constexpr qint64 kReadLimit = 64 << 20;

// ISO 8601 in local time with its offset, which Qt writes only for fixed-offset times.
QString IsoTime(const QDateTime &time)
{
    if (!time.isValid())
        return QStringLiteral("unknown");
    const QDateTime local = time.toLocalTime();
    const int offset = local.offsetFromUtc();
    const int minutes = std::abs(offset) / 60;
    return local.toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss")) + (offset < 0 ? '-' : '+')
           + QStringLiteral("%1:%2").arg(minutes / 60, 2, 10, QChar('0')).arg(minutes % 60, 2, 10, QChar('0'));
}

// A file name may hold a newline: escaped, no value can begin a line of its own.
QString Escaped(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u == '\n')
            out += QStringLiteral("\\n");
        else if (u == '\r')
            out += QStringLiteral("\\r");
        else if (u == '\t')
            out += QStringLiteral("\\t");
        else if (u < 0x20 || (u >= 0x7f && u < 0xa0))
            out += QStringLiteral("\\x%1").arg(int(u), 2, 16, QChar('0'));
        else if (u == 0x2028 || u == 0x2029)
            out += QStringLiteral("\\u%1").arg(int(u), 4, 16, QChar('0'));
        else
            out += c;
    }
    return out;
}

QString OrNone(const QString &text) { return text.isEmpty() ? QStringLiteral("(none)") : Escaped(text); }

QString OutcomeWord(Outcome outcome)
{
    switch (outcome) {
    case Outcome::Done: return QStringLiteral("done");
    case Outcome::Failed: return QStringLiteral("failed");
    case Outcome::Cancelled: return QStringLiteral("cancelled");
    case Outcome::Stopped: return QStringLiteral("stopped");
    }
    return QStringLiteral("unknown");
}

QString RunEndWord(std::optional<RunEnd> end)
{
    if (!end)
        return QStringLiteral("did not finish");
    switch (*end) {
    case RunEnd::Finished: return QStringLiteral("finished");
    case RunEnd::Cancelled: return QStringLiteral("cancelled");
    case RunEnd::Stopped: return QStringLiteral("stopped");
    case RunEnd::EngineMissing: return QStringLiteral("engine missing");
    }
    return QStringLiteral("unknown");
}

// "engine 13 (IDS_REASON_ENGINE_13): <words>"; kinds that carry no number show none.
QString ReasonLine(const Reason &reason)
{
    QString kind;
    bool numbered = true;
    switch (reason.kind) {
    case ReasonKind::None: return QStringLiteral("none");
    case ReasonKind::Engine: kind = QStringLiteral("engine"); break;
    case ReasonKind::Preparation: kind = QStringLiteral("preparation"); break;
    case ReasonKind::Stall: kind = QStringLiteral("stall"); break;
    case ReasonKind::Image: kind = QStringLiteral("image"); break;
    case ReasonKind::Intake: kind = QStringLiteral("intake"); break;
    case ReasonKind::EngineMissing:
        kind = QStringLiteral("engine missing");
        numbered = false;
        break;
    case ReasonKind::EngineLost:
        kind = QStringLiteral("engine lost");
        numbered = false;
        break;
    case ReasonKind::NoOutput:
        kind = QStringLiteral("no output");
        numbered = false;
        break;
    case ReasonKind::SourceGone:
        kind = QStringLiteral("source gone");
        numbered = false;
        break;
    }
    if (numbered || reason.code != 0)
        kind += ' ' + QString::number(reason.code);
    return kind + QStringLiteral(" (") + ReasonKey(reason) + QStringLiteral("): ") + Escaped(ReasonText(reason));
}

QString IdLine(const QString &id) { return QStringLiteral("Id: ") + Escaped(id) + '\n'; }

QByteArray Format(const RunLogEntry &entry)
{
    int counts[4] = {};
    for (const RunLogFile &file : entry.files)
        ++counts[int(file.end.outcome)];
    QString text = QString::fromLatin1(RunLog::kEntryMarker) + '\n';
    text += QStringLiteral("Mode: ") + OrNone(entry.mode) + '\n';
    if (!entry.id.isEmpty())
        text += IdLine(entry.id);
    text += QStringLiteral("Started: ") + IsoTime(entry.started) + '\n';
    text += QStringLiteral("Ended: ") + IsoTime(entry.ended) + '\n';
    text += QStringLiteral("Run end: ") + RunEndWord(entry.end) + '\n';
    text += QStringLiteral("Files: %1 (done %2, failed %3, cancelled %4, stopped %5)\n")
                .arg(entry.files.size())
                .arg(counts[int(Outcome::Done)])
                .arg(counts[int(Outcome::Failed)])
                .arg(counts[int(Outcome::Cancelled)])
                .arg(counts[int(Outcome::Stopped)]);
    int number = 0;
    for (const RunLogFile &file : entry.files) {
        text += QStringLiteral("\nFile %1 of %2\n").arg(++number).arg(entry.files.size());
        // A text file: a byte of a name that is no UTF-8 shows as U+FFFD.
        text += QStringLiteral("  Source: ") + OrNone(platform::ShownName(file.end.sourcePath)) + '\n';
        text += QStringLiteral("  Output: ") + OrNone(platform::ShownName(file.end.outputPath)) + '\n';
        text += QStringLiteral("  Outcome: ") + OutcomeWord(file.end.outcome) + '\n';
        text += QStringLiteral("  Reason: ") + ReasonLine(file.end.reason) + '\n';
        // Image files, and movie files that never reached an engine, have neither.
        if (file.engineArguments.isEmpty() && file.diagnostics.isEmpty())
            continue;
        text += QStringLiteral("  Engine arguments: ") + OrNone(file.engineArguments) + '\n';
        text += QStringLiteral("  Engine said:") + (file.diagnostics.isEmpty() ? QStringLiteral(" (nothing)\n") : "\n");
        for (const QString &line : file.diagnostics)
            text += QStringLiteral("    ") + Escaped(line) + '\n';
    }
    text += '\n';
    return text.toUtf8();
}

bool IsMarker(QByteArrayView line)
{
    if (line.endsWith('\r'))
        line.chop(1);
    return line == QByteArrayView(RunLog::kEntryMarker);
}

// The entries of an old log as they were written, each from its marker line on.
QList<QByteArray> SplitEntries(const QByteArray &text)
{
    QList<qsizetype> starts;
    qsizetype at = 0;
    while (at < text.size()) {
        qsizetype end = text.indexOf('\n', at);
        if (end < 0)
            end = text.size();
        if (IsMarker(QByteArrayView(text).sliced(at, end - at)))
            starts.append(at);
        at = end + 1;
    }
    QList<QByteArray> entries;
    for (qsizetype i = 0; i < starts.size(); ++i) {
        const qsizetype end = i + 1 < starts.size() ? starts[i + 1] : text.size();
        QByteArray entry = text.mid(starts[i], end - starts[i]);
        if (!entry.endsWith('\n'))
            entry += '\n';
        entries.append(entry);
    }
    return entries;
}

} // namespace

RunLog::RunLog(QString folder)
    : m_folder(std::move(folder))
{
}

QString RunLog::DefaultFolder() { return StateFolder(); }

QString RunLog::Path() const { return m_folder + QStringLiteral("/runs.log"); }

bool RunLog::Begin(RunLogEntry &entry)
{
    entry.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    entry.ended = {};
    entry.end.reset();
    return Write(entry);
}

bool RunLog::Complete(const RunLogEntry &entry) { return Write(entry); }

bool RunLog::Append(const RunLogEntry &entry)
{
    RunLogEntry whole = entry;
    whole.id.clear();
    return Write(whole);
}

bool RunLog::Write(const RunLogEntry &entry)
{
    if (!platform::MakePrivateFolder(m_folder))
        return false;

    QByteArray old;
    QFile oldFile(Path());
    if (oldFile.exists()) {
        // A log we cannot read is left alone rather than replaced by a shorter one.
        if (!oldFile.open(QIODevice::ReadOnly))
            return false;
        if (oldFile.size() > kReadLimit && !oldFile.seek(oldFile.size() - kReadLimit))
            return false;
        old = oldFile.read(kReadLimit);
        if (oldFile.error() != QFileDevice::NoError)
            return false;
        oldFile.close();
    }
    QList<QByteArray> entries = SplitEntries(old);
    const QByteArray formatted = Format(entry);
    const QByteArray idLine = '\n' + IdLine(entry.id).toUtf8();
    qsizetype begun = -1;
    for (qsizetype i = entries.size() - 1; i >= 0 && !entry.id.isEmpty() && begun < 0; --i) {
        if (entries[i].contains(idLine))
            begun = i;
    }
    if (begun >= 0)
        entries[begun] = formatted;
    else
        entries.append(formatted);
    if (entries.size() > kKeptRuns)
        entries = entries.mid(entries.size() - kKeptRuns);

    QByteArray text;
    for (const QByteArray &e : entries)
        text += e;
    return platform::AtomicWrite(Path(), text);
}
