#include "page/end_message.h"

#include "shell/lang.h"

namespace {

MessageBoxQuestion AsQuestion(const EndText &end)
{
    MessageBoxQuestion q;
    q.text = end.text;
    q.caption = Lang::Get(QStringLiteral("IDS_MESSAGEBOX_INFO"));
    q.style = end.warning ? MB_ICONEXCLAMATION : MB_ICONINFORMATION;
    q.details = end.details;
    return q;
}

} // namespace

MessageBoxQuestion EndMessage(const RunSummary &summary, const EndReport &report)
{
    MessageBoxQuestion q = AsQuestion(EndMessageText(summary, report));
    q.actions = {Lang::Get(QStringLiteral("IDS_SUMMARY_OPEN_FOLDER")),
                 Lang::Get(QStringLiteral("IDS_SUMMARY_OPEN_LOG"))};
    return q;
}

MessageBoxQuestion KeptSourcesMessage(const QList<KeptSource> &kept) { return AsQuestion(KeptSourcesText(kept)); }
