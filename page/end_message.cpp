#include "page/end_message.h"

#include "page/reason_text.h"
#include "shell/lang.h"

#include <QFileInfo>

namespace {

QString T(const char *key) { return Lang::Get(QString::fromLatin1(key)); }

QString FailedLine(const FileEnd &file)
{
    return QFileInfo(file.sourcePath).fileName() + QStringLiteral(": ") + ReasonText(file.reason);
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

MessageBoxQuestion EndMessage(const RunSummary &summary)
{
    MessageBoxQuestion q;
    q.text = T("IDS_MESSAGEBOX_CONVERT_END") + QLatin1Char('\n') + CountsText(summary);
    q.caption = T("IDS_MESSAGEBOX_INFO");
    const QList<FileEnd> failed = summary.Files(Outcome::Failed);
    q.style = failed.isEmpty() ? MB_ICONINFORMATION : MB_ICONEXCLAMATION;
    for (const FileEnd &file : failed)
        q.details << FailedLine(file);
    q.actions = {T("IDS_SUMMARY_OPEN_FOLDER"), T("IDS_SUMMARY_OPEN_LOG")};
    return q;
}

QString NotificationBody(const RunSummary &summary)
{
    constexpr int kNamesShown = 3;
    QString body = CountsText(summary);
    const QList<FileEnd> failed = summary.Files(Outcome::Failed);
    for (int i = 0; i < failed.size() && i < kNamesShown; ++i)
        body += QLatin1Char('\n') + FailedLine(failed[i]);
    if (failed.size() > kNamesShown)
        body += QStringLiteral("\n…");
    return body;
}
