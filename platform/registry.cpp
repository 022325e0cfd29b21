#include "platform/registry.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

namespace platform {

namespace {

// Value names may hold spaces; slashes and backslashes would make QSettings groups.
QString ValueKey(const QString &name)
{
    QString key = name;
    key.replace(QLatin1Char('/'), QLatin1Char('_'));
    key.replace(QLatin1Char('\\'), QLatin1Char('_'));
    return key;
}

} // namespace

QString Registry::FilePathFor(const QString &keyPath)
{
    QString rel = keyPath;
    rel.replace(QLatin1Char('\\'), QLatin1Char('/'));
    QStringList parts = rel.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    if (!parts.isEmpty() && parts.first().compare(QLatin1String("software"), Qt::CaseInsensitive) == 0)
        parts.removeFirst();
    if (parts.isEmpty())
        parts << QStringLiteral("default");
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return base + QLatin1Char('/') + parts.join(QLatin1Char('/')) + QStringLiteral(".ini");
}

bool Registry::KeyExists(const QString &keyPath) { return QFileInfo::exists(FilePathFor(keyPath)); }

Registry::Registry(const QString &keyPath)
    : m_path(FilePathFor(keyPath))
    , m_settings(std::make_unique<QSettings>(m_path, QSettings::IniFormat))
{
}

Registry::~Registry() { Sync(); }

bool Registry::Exists() const { return QFileInfo::exists(m_path); }

std::optional<QString> Registry::ReadString(const QString &name) const
{
    const QVariant v = m_settings->value(ValueKey(name));
    if (!v.isValid() || v.typeId() == QMetaType::QStringList)
        return std::nullopt;
    return v.toString();
}

std::optional<quint32> Registry::ReadDword(const QString &name) const
{
    const QVariant v = m_settings->value(ValueKey(name));
    if (!v.isValid())
        return std::nullopt;
    bool ok = false;
    const qlonglong n = v.toString().trimmed().toLongLong(&ok);
    // Accept the unsigned range and the signed one, so that -1 reads back as 0xFFFFFFFF.
    if (!ok || n < -2147483648LL || n > 4294967295LL)
        return std::nullopt;
    return static_cast<quint32>(n);
}

bool Registry::WriteString(const QString &name, const QString &value)
{
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    m_settings->setValue(ValueKey(name), value);
    return m_settings->isWritable();
}

bool Registry::WriteDword(const QString &name, quint32 value)
{
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    m_settings->setValue(ValueKey(name), static_cast<qulonglong>(value));
    return m_settings->isWritable();
}

bool Registry::Sync()
{
    m_settings->sync();
    return m_settings->status() == QSettings::NoError;
}

} // namespace platform
