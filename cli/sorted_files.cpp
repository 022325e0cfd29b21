#include "cli/sorted_files.h"

#include "platform/native_name.h"

#include <QSet>

SortedFiles SortedFiles::Sort(const QStringList &files, const QStringList &movieExtensions,
                              const QStringList &pictureExtensions)
{
    SortedFiles sorted;
    QSet<QString> seen;
    for (int row = 0; row < files.size(); ++row) {
        const QString path = platform::AbsoluteName(files[row]);
        if (seen.contains(path))
            continue;
        seen.insert(path);
        const platform::NameInfo info = platform::StatName(path);
        const QString name = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
        const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
        const QString suffix = dot < 0 ? QString() : name.mid(dot + 1).toLower();
        std::optional<IntakeRefusal> refusal;
        // A FIFO, socket or device is no file to convert, and reading one may wait forever.
        if (!info.exists)
            refusal = IntakeRefusal::NoSuchFile;
        else if (!info.isFile)
            refusal = IntakeRefusal::NotAFile;
        else if (movieExtensions.contains(suffix))
            sorted.movies.append({row, path});
        else if (pictureExtensions.contains(suffix))
            sorted.pictures.append({row, path});
        else
            refusal = IntakeRefusal::NotSupported;
        if (refusal)
            sorted.refused.append({row, path, {}, Outcome::Failed, Reason::Intake(*refusal)});
    }
    return sorted;
}
