#pragma once

#include "encode/encode_settings.h"

#include <QString>
#include <QStringList>

// Movie mode's settings under the per-user key "software\<application name>": loading,
// first-run defaults and saving. Window thread.
class SettingsStore {
public:
    // appName: the text of IDS_APP_NAME, which names the key.
    explicit SettingsStore(const QString &appName);

    QString KeyPath() const { return m_keyPath; }

    // Loads the settings; on a first run (no key) writes the blank values other users of
    // the key expect, then the defaults; after a failed load writes the defaults.
    // The settings are always usable afterwards.
    void Initialise(MovieSettings &settings, bool hdMode) const;

    // False when the key or any required value is missing or malformed (a number that is
    // not one, a text longer than its field); then the settings are left as they were.
    // A successful load turns Multicore on.
    bool Load(MovieSettings &settings) const;

    // Defaults for all three records; creates the default save folder when missing.
    void SetDefaults(MovieSettings &settings, bool hdMode) const;

    // False when the key cannot be written.
    bool Save(const MovieSettings &settings) const;

    // What a first run writes before the defaults, in this order.
    static const QStringList &FirstRunBlankStrings();
    static const QStringList &FirstRunBlankDwords();

private:
    QString m_appName;
    QString m_keyPath;
};
