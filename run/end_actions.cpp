#include "run/end_actions.h"

#include "platform/native_name.h"

EndActions DecideEndActions(const RunSummary &summary)
{
    EndActions actions;
    if (summary.end != RunEnd::Finished)
        return actions;
    actions.trashSources = summary.choices.deleteSources && summary.sourcesMayGo;
    actions.powerOff = summary.choices.powerOff;
    actions.showEndMessage = !actions.powerOff;
    return actions;
}

TrashReport TrashSources(const QList<FileEnd> &converted)
{
    TrashReport report;
    for (const FileEnd &file : converted) {
        if (file.outcome != Outcome::Done)
            continue;
        const platform::NameInfo output = platform::StatName(file.outputPath);
        const platform::NameInfo source = platform::StatName(file.sourcePath);
        if (!output.isFile || output.size <= 0 || !source.isFile)
            continue;
        // Never the output itself, whatever the names say.
        if (source.id == output.id)
            continue;
        const platform::TrashResult result = platform::MoveToTrash(file.sourcePath);
        if (result == platform::TrashResult::Trashed)
            report.gone.append(file);
        else
            report.kept.append({file.sourcePath, result});
    }
    return report;
}

namespace {

// Linux file systems hold names of at most 255 bytes. A name that would be longer loses
// characters from the end of its stem, before its counter and extension: "a very long …
// name(1).mp4" stays unique and still says what it came from.
constexpr qsizetype kNameMaxBytes = 255;

QString FittedName(QString stem, const QString &tail)
{
    const qsizetype tailBytes = platform::NativeName(tail).size();
    while (!stem.isEmpty() && platform::NativeName(stem).size() + tailBytes > kNameMaxBytes) {
        stem.chop(1);
        if (!stem.isEmpty() && stem.back().isHighSurrogate())
            stem.chop(1); // never half a character
    }
    return stem + tail;
}

} // namespace

QString MakeOutputName(const OutputFolder &folder, const QString &sourceName, const QString &extension)
{
    // A relative name would land wherever the program happened to start.
    if (!folder.IsValid())
        return {};
    const QString name = sourceName.mid(sourceName.lastIndexOf(QLatin1Char('/')) + 1);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    const QString base = dot <= 0 ? name : name.left(dot);
    QString candidate = folder.FilePath(FittedName(base, QLatin1Char('.') + extension));
    for (int counter = 1; platform::NameTaken(candidate); ++counter)
        candidate = folder.FilePath(
            FittedName(base, QLatin1Char('(') + QString::number(counter) + QStringLiteral(").") + extension));
    return candidate;
}
