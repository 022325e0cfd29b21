#include "run/reason_text.h"

#include "shell/lang.h"

QString ReasonKey(const Reason &reason)
{
    const QString code = QString::number(reason.code);
    switch (reason.kind) {
    case ReasonKind::None: return {};
    case ReasonKind::Engine: return QStringLiteral("IDS_REASON_ENGINE_") + code;
    case ReasonKind::Preparation: return QStringLiteral("IDS_REASON_PREPARE_") + code;
    case ReasonKind::Stall: return QStringLiteral("IDS_REASON_STALL");
    case ReasonKind::Image: return QStringLiteral("IDS_REASON_IMAGE_") + code;
    case ReasonKind::EngineMissing: return QStringLiteral("IDS_REASON_ENGINE_MISSING");
    case ReasonKind::EngineLost: return QStringLiteral("IDS_REASON_ENGINE_LOST");
    case ReasonKind::NoOutput: return QStringLiteral("IDS_REASON_NO_OUTPUT");
    case ReasonKind::SourceGone: return QStringLiteral("IDS_REASON_SOURCE_GONE");
    case ReasonKind::Intake: return QStringLiteral("IDS_REASON_INTAKE_") + code;
    }
    return {};
}

QString ReasonText(const Reason &reason)
{
    if (reason.kind == ReasonKind::None)
        return {};
    const QString text = Lang::Get(ReasonKey(reason));
    if (!text.isEmpty())
        return reason.kind == ReasonKind::Stall ? text.arg(reason.code) : text;
    // A code this version has no words for still says which it was.
    return Lang::Get(QStringLiteral("IDS_REASON_UNKNOWN")).arg(reason.code);
}
