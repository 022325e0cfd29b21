#include "encode/settings_store.h"

#include "platform/registry.h"
#include "probe/number_text.h"
#include "shell/app_paths.h"

#include <bit>
#include <optional>

using platform::Registry;

namespace {

// Reads a string that fits a field of `size` units with its terminator.
bool ReadText(const Registry &key, const QString &name, int size, QString &field)
{
    const std::optional<QString> value = key.ReadString(name);
    if (!value || value->size() > size - 1)
        return false;
    field = *value;
    return true;
}

bool ReadNumber(const Registry &key, const QString &name, int32_t &field)
{
    const std::optional<quint32> value = key.ReadDword(name);
    if (!value)
        return false;
    field = static_cast<int32_t>(*value);
    return true;
}

bool ReadSubtitle(const Registry &key, SubtitleSettings &s)
{
    s = SubtitleSettings();
    int32_t fontSizeBits = 0;
    if (!ReadNumber(key, "UseSmi", s.UseSmi) || !ReadNumber(key, "FontSize", fontSizeBits)
        || !ReadNumber(key, "FontName", s.FontName) || !ReadNumber(key, "SubPos", s.SubPos)
        || !ReadText(key, "FontPath", SubtitleSettings::kFontPathSize, s.FontPath))
        return false;
    // The float is kept as its bit pattern in a DWORD.
    s.FontSize = std::bit_cast<float>(fontSizeBits);
    return true;
}

bool ReadEncode(const Registry &key, EncodeSettings &e)
{
    using E = EncodeSettings;
    e = EncodeSettings();
    if (!ReadText(key, "Preset", E::kPresetSize, e.Preset) || !ReadText(key, "HDFormat", E::kFormatSize, e.HDFormat)
        || !ReadText(key, "SDFormat", E::kFormatSize, e.SDFormat)
        || !ReadText(key, "VCodecD", E::kCodecNameSize, e.VCodecD)
        || !ReadText(key, "ACodecD", E::kCodecNameSize, e.ACodecD)
        || !ReadText(key, "HDVCodec", E::kCodecSize, e.HDVCodec)
        || !ReadText(key, "SDVCodec", E::kCodecSize, e.SDVCodec)
        || !ReadText(key, "HDACodec", E::kCodecSize, e.HDACodec)
        || !ReadText(key, "SDACodec", E::kCodecSize, e.SDACodec) || !ReadNumber(key, "HDVBitrate", e.HDVBitrate)
        || !ReadNumber(key, "SDVBitrate", e.SDVBitrate))
        return false;
    const std::optional<QString> fps = key.ReadString("VFps");
    if (!fps)
        return false;
    e.VFps = float(ParseDoublePrefix(*fps));
    if (!ReadNumber(key, "VWidth", e.VWidth) || !ReadNumber(key, "VHeight", e.VHeight)
        || !ReadNumber(key, "ABitrate", e.ABitrate) || !ReadNumber(key, "ASamplerate", e.ASamplerate))
        return false;
    // Older keys may lack these two; they are not needed.
    ReadNumber(key, "Vol", e.Vol);
    ReadNumber(key, "VBR", e.VBR);
    e.Multicore = true;
    return true;
}

} // namespace

SettingsStore::SettingsStore(const QString &appName)
    : m_appName(appName)
    , m_keyPath(QStringLiteral("software\\") + appName)
{
}

const QStringList &SettingsStore::FirstRunBlankStrings()
{
    static const QStringList names = {
        "ACodec",      "ACodecD",     "Current Folder", "divideValue", "EncSpeed", "FontPath", "Format",
        "InstallPath", "Naming Rule", "Preset",         "Save Folder", "VCodec",   "VCodecD",  "VFps",
    };
    return names;
}

const QStringList &SettingsStore::FirstRunBlankDwords()
{
    static const QStringList names = {
        "ABitrate",     "ASamplerate",    "Baseline",    "enable2Pass", "enableACopy",    "enableCrop",  "enableDivide",
        "enableRotate", "enableSyncCtrl", "EncSpeedUse", "EndPos",      "EndPosUse",      "First",       "FontName",
        "FontOutline",  "FontShadow",     "FontSize",    "KeepRatio",   "KeyFrame",       "KeyFrameUse", "MinTray",
        "Multicore",    "rdoSize",        "SubLang",     "SubPos",      "Use Size Alert", "UseSmi",      "VBitrate",
        "VBR",          "VHeight",        "Vol",         "VWidth",
    };
    return names;
}

void SettingsStore::Initialise(MovieSettings &settings, bool hdMode) const
{
    if (!Registry::KeyExists(m_keyPath)) {
        {
            Registry key(m_keyPath);
            for (const QString &name : FirstRunBlankStrings())
                key.WriteString(name, QString());
            for (const QString &name : FirstRunBlankDwords())
                key.WriteDword(name, 0);
        }
    } else if (Load(settings)) {
        return;
    }
    SetDefaults(settings, hdMode);
    Save(settings);
}

bool SettingsStore::Load(MovieSettings &settings) const
{
    if (!Registry::KeyExists(m_keyPath))
        return false;
    const Registry key(m_keyPath);
    // Read into a copy so that a failed load leaves the caller's settings whole.
    MovieSettings loaded;
    if (!ReadSubtitle(key, loaded.subtitle) || !ReadEncode(key, loaded.encode))
        return false;
    if (!ReadNumber(key, "MinTray", loaded.options.MinTray)
        || !ReadText(key, "Save Folder", MovieOptions::kSaveFolderSize, loaded.options.SaveFolder))
        return false;
    settings = loaded;
    return true;
}

void SettingsStore::SetDefaults(MovieSettings &settings, bool hdMode) const
{
    settings.options.SaveFolder = AppPaths::DefaultOutputFolder(m_appName);
    settings.options.MinTray = 0;

    SubtitleSettings &s = settings.subtitle;
    s.UseSmi = 0;
    s.FontName = -1;
    s.FontSize = 4.0f;
    s.SubPos = 100;
    s.FontPath = QStringLiteral("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf");

    settings.encode.SetDefaults(hdMode);
}

bool SettingsStore::Save(const MovieSettings &settings) const
{
    Registry key(m_keyPath);
    const SubtitleSettings &s = settings.subtitle;
    const EncodeSettings &e = settings.encode;
    auto dword = [&key](const char *name, int32_t value) {
        key.WriteDword(QString::fromLatin1(name), static_cast<quint32>(value));
    };
    auto text = [&key](const char *name, const QString &value) { key.WriteString(QString::fromLatin1(name), value); };
    dword("UseSmi", s.UseSmi);
    dword("FontName", s.FontName);
    dword("FontSize", std::bit_cast<int32_t>(s.FontSize));
    dword("SubPos", s.SubPos);
    text("FontPath", s.FontPath);
    text("Preset", e.Preset);
    text("HDFormat", e.HDFormat);
    text("SDFormat", e.SDFormat);
    text("HDVCodec", e.HDVCodec);
    text("SDVCodec", e.SDVCodec);
    text("VCodecD", e.VCodecD);
    text("HDACodec", e.HDACodec);
    text("SDACodec", e.SDACodec);
    text("ACodecD", e.ACodecD);
    dword("HDVBitrate", e.HDVBitrate);
    dword("SDVBitrate", e.SDVBitrate);
    text("VFps", QString::asprintf("%.3f", double(e.VFps)));
    dword("VWidth", e.VWidth);
    dword("VHeight", e.VHeight);
    dword("ABitrate", e.ABitrate);
    dword("ASamplerate", e.ASamplerate);
    dword("VBR", e.VBR);
    text("Save Folder", settings.options.SaveFolder);
    dword("MinTray", settings.options.MinTray);
    return key.Sync();
}
