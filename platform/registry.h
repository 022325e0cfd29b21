#pragma once

#include <QString>
#include <memory>
#include <optional>

class QSettings;

namespace platform {

// The per-user store. One key is one INI file under $XDG_CONFIG_HOME:
// "software\X" is X.ini, "software\A\B" is A/B.ini. DWORDs are stored as numbers,
// strings as strings. Owned by whoever opened it; not shared between threads.
class Registry {
public:
    // keyPath as the Windows code wrote it, e.g. "software\\Framepress".
    explicit Registry(const QString &keyPath);
    ~Registry();
    Registry(const Registry &) = delete;
    Registry &operator=(const Registry &) = delete;

    // Whether the key exists, i.e. whether its file exists (a key is created by its first write).
    static bool KeyExists(const QString &keyPath);
    static QString FilePathFor(const QString &keyPath);

    bool Exists() const;
    QString FilePath() const { return m_path; }

    // A read fails when the value is missing or does not convert to the asked type.
    std::optional<QString> ReadString(const QString &name) const;
    std::optional<quint32> ReadDword(const QString &name) const;

    bool WriteString(const QString &name, const QString &value);
    bool WriteDword(const QString &name, quint32 value);

    // Writes pending values to disk (atomically, through a temporary file); false on an error.
    bool Sync();

private:
    QString m_path;
    std::unique_ptr<QSettings> m_settings;
};

} // namespace platform
