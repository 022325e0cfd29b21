#include "image/image_intake.h"

#include "shell/lang.h"

#include <QFileInfo>

QStringList ParseExtensionList(const QString &commaSeparated)
{
    QStringList extensions;
    for (const QString &item : commaSeparated.split(QLatin1Char(','))) {
        const QString ext = item.trimmed().toLower();
        if (!ext.isEmpty())
            extensions.append(ext);
    }
    return extensions;
}

QString ImageDialogFilter(const QString &title, const QStringList &extensions)
{
    QStringList patterns;
    for (const QString &ext : extensions)
        patterns.append(QStringLiteral("*.") + ext);
    return title + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
}

IntakeResult AddFilesInOrder(const QStringList &paths, const std::function<bool(const QString &)> &insert)
{
    IntakeResult result;
    for (const QString &path : paths) {
        if (QFileInfo(path).isDir()) {
            result.stoppedAtFolder = true;
            break;
        }
        if (!insert(path)) {
            result.refusedPath = path;
            break;
        }
        ++result.added;
    }
    return result;
}

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
