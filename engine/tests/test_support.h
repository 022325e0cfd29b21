#pragma once

// Helpers shared by the engine link tests.

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>
#include <QTest>

#include <string>
#include <vector>

using Lines = std::vector<std::string>;
Q_DECLARE_METATYPE(Lines)

namespace QTest {
template <>
inline char *toString(const Lines &lines)
{
    QStringList quoted;
    for (const auto &line : lines)
        quoted << '"' + QString::fromStdString(line) + '"';
    return qstrdup(('{' + quoted.join(", ") + '}').toUtf8().constData());
}
} // namespace QTest

inline std::string TestEnginePath()
{
    return (QCoreApplication::applicationDirPath() + "/fp_test_engine").toStdString();
}

inline QStringList ReadLog(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts);
}

inline int CountEntries(const char *dir)
{
    return static_cast<int>(QDir(dir).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot).size());
}
