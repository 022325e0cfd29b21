#include "run/end_text.h"

#include "platform/native_name.h"
#include "run/reason_text.h"
#include "shell/lang.h"

#include <QFileInfo>

namespace {

QString T(const char *key) { return Lang::Get(QString::fromLatin1(key)); }

QString FailedLine(const FileEnd &file)
{
    return platform::ShownName(QFileInfo(file.sourcePath).fileName()) + QStringLiteral(": ") + ReasonText(file.reason);
}

QString KeptLine(const KeptSource &source)
{
    const QString why = source.why == platform::TrashResult::Failed && !source.why.error.isEmpty()
                            ? source.why.error
                            : T("IDS_REASON_NO_TRASH");
    return T("IDS_SUMMARY_KEPT_LINE").arg(platform::ShownName(QFileInfo(source.sourcePath).fileName()), why);
}

} // namespace

QString CountsText(const RunSummary &summary)
{
    const int done = summary.Count(Outcome::Done);
    const int failed = summary.Count(Outcome::Failed);
    if (failed == 0)
        return T("IDS_SUMMARY_DONE").arg(done);
    if (done == 0)
        return T("IDS_SUMMARY_ALL_FAILED").arg(failed);
    return T("IDS_SUMMARY_COUNTS").arg(done).arg(failed);
}

EndText EndMessageText(const RunSummary &summary, const EndReport &report)
{
    EndText end;
    end.text = T("IDS_MESSAGEBOX_CONVERT_END") + QLatin1Char('\n') + CountsText(summary);
    if (report.powerOffRefused)
        end.text += QLatin1Char('\n') + T("IDS_SUMMARY_POWER_OFF_REFUSED").arg(*report.powerOffRefused);
    const QList<FileEnd> failed = summary.Files(Outcome::Failed);
    for (const FileEnd &file : failed)
        end.details << FailedLine(file);
    for (const KeptSource &source : report.kept)
        end.details << KeptLine(source);
    end.warning = !end.details.isEmpty() || report.powerOffRefused.has_value();
    return end;
}

EndText KeptSourcesText(const QList<KeptSource> &kept)
{
    EndText end{T("IDS_SUMMARY_SOURCES_KEPT"), {}, true};
    for (const KeptSource &source : kept)
        end.details << KeptLine(source);
    return end;
}

QString NotificationBody(const RunSummary &summary, const QList<KeptSource> &kept)
{
    constexpr int kNamesShown = 3;
    QStringList lines;
    for (const FileEnd &file : summary.Files(Outcome::Failed))
        lines << FailedLine(file);
    for (const KeptSource &source : kept)
        lines << KeptLine(source);
    QString body = CountsText(summary);
    for (int i = 0; i < lines.size() && i < kNamesShown; ++i)
        body += QLatin1Char('\n') + lines[i];
    if (lines.size() > kNamesShown)
        body += QStringLiteral("\n…");
    return body;
}
