#include "cli/sorted_files.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>

SortedFiles SortedFiles::Sort(const QStringList &files, const QStringList &movieExtensions,
                              const QStringList &pictureExtensions)
{
    SortedFiles sorted;
    QSet<QString> seen;
    for (int row = 0; row < files.size(); ++row) {
        const QString path = QDir::cleanPath(QFileInfo(files[row]).absoluteFilePath());
        if (seen.contains(path))
            continue;
        seen.insert(path);
        const QFileInfo info(path);
        const QString suffix = info.suffix().toLower();
        std::optional<IntakeRefusal> refusal;
        // A FIFO, socket or device is no file to convert, and reading one may wait forever.
        if (!info.exists())
            refusal = IntakeRefusal::NoSuchFile;
        else if (!info.isFile())
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
