#include "shell/output_folder.h"

#include <QDir>
#include <QFileInfo>

OutputFolder::OutputFolder(const QString &pathText)
{
    const QString path = QDir::cleanPath(pathText);
    if (!QDir::isAbsolutePath(path))
        return;
    m_text = path.endsWith(QLatin1Char('/')) ? path : path + QLatin1Char('/');
}

OutputFolder OutputFolder::FromArgument(const QString &pathText)
{
    if (pathText.isEmpty())
        return {};
    return OutputFolder(QDir::current().absoluteFilePath(pathText));
}

bool OutputFolder::Make() const { return IsValid() && (QFileInfo(m_text).isDir() || QDir().mkpath(m_text)); }
