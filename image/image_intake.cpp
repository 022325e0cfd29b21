#include "image/image_intake.h"

#include <QFileInfo>

#include <limits>

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

int ParseBoxSide(const QString &text)
{
    qsizetype i = 0;
    while (i < text.size() && (text[i] == QLatin1Char(' ') || text[i] == QLatin1Char('\t')))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-')))
        negative = text[i++] == QLatin1Char('-');
    qint64 value = 0;
    for (; i < text.size() && text[i] >= QLatin1Char('0') && text[i] <= QLatin1Char('9'); ++i) {
        value = value * 10 + (text[i].unicode() - '0');
        if (value > std::numeric_limits<int>::max())
            return negative ? std::numeric_limits<int>::min() : std::numeric_limits<int>::max();
    }
    return int(negative ? -value : value);
}

ImageBoxes ImageBoxes::FromTexts(const QString &hdX, const QString &hdY, const QString &sdX, const QString &sdY)
{
    return {QSize(ParseBoxSide(hdX), ParseBoxSide(hdY)), QSize(ParseBoxSide(sdX), ParseBoxSide(sdY))};
}
