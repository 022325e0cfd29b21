#include "image/image_intake.h"

#include "shell/lang.h"

QString DeleteQuestionText(const QString &prompt, const QStringList &checkedNames)
{
    constexpr int kMaxNames = 10;
    QString text = prompt + QStringLiteral("\n\n");
    for (int i = 0; i < checkedNames.size(); ++i) {
        if (i == kMaxNames) {
            text += QStringLiteral("<...more files...>");
            break;
        }
        text += checkedNames[i] + QLatin1Char('\n');
    }
    return text;
}

ImageBoxes ImageBoxes::FromLang()
{
    return {QSize(Lang::GetInt(QStringLiteral("IDS_GOPT_OUTHDIMAGE_X")), Lang::GetInt(QStringLiteral("IDS_GOPT_OUTHDIMAGE_Y"))),
            QSize(Lang::GetInt(QStringLiteral("IDS_GOPT_OUTSDIMAGE_X")), Lang::GetInt(QStringLiteral("IDS_GOPT_OUTSDIMAGE_Y")))};
}
