#include "shell/output_folder.h"

#include "platform/native_name.h"

#include <QDir>

#include <sys/stat.h>

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
    return OutputFolder(platform::AbsoluteName(pathText));
}

bool OutputFolder::Make() const
{
    if (!IsValid())
        return false;
    // Level by level on the bytes: QDir would lose a byte of a name that is no UTF-8.
    for (qsizetype slash = m_text.indexOf(QLatin1Char('/'), 1); slash > 0;
         slash = m_text.indexOf(QLatin1Char('/'), slash + 1))
        ::mkdir(platform::NativeName(m_text.left(slash)).constData(), 0777);
    return platform::StatName(m_text).isDir;
}
