#pragma once

#include <QString>

// The language file res/lang.opt: every text the user sees, and a few settings, by key.
// Loaded once; lookups are read-only and safe from any thread (the image worker asks
// for labels while the window thread asks for others).
//
//   Lang::Get("IDS_BTN_MAIN_ADDFILE")           -> "Add"
//   Lang::GetInt("IDS_GOPT_OUTHDIMAGE_X")       -> 1280 (_wtoi rules: junk gives 0)
//
// A lookup before Start() loads the default file AppPaths::Current().langFile on first use,
// so start-up code and tests may ask before the launcher has opened it.
class Lang {
public:
    // Loads the file (replacing what was loaded); false when it cannot be read, in which
    // case every key reads as empty.
    static bool Start(const QString &path);
    // Forgets the loaded texts; the next lookup loads the default file again. Harmless twice.
    static void End();

    // The text stored under key in section "String" (case-insensitive); empty when missing.
    static QString Get(const QString &key);
    static QString Get(const QString &section, const QString &key);
    // Wtoi of Get(key): a missing or non-numeric value counts as 0.
    static int GetInt(const QString &key);

    // The file the texts came from, empty before the first load.
    static QString LoadedPath();
};

// _wtoi: leading blanks, an optional sign, then digits up to the first non-digit; no digits
// gives 0; out of range saturates at INT_MIN/INT_MAX.
int Wtoi(const QString &text);

// The private-profile reader (INI text, UTF-8 or UTF-16 with a BOM): the value of key in
// section, both compared without regard to case; the first occurrence wins. Keys and values
// are trimmed and one pair of enclosing double quotes is removed. When the file, section or
// key is missing the result is defaultValue. Like a Windows buffer of maxChars characters
// holding a terminator, the result is cut to maxChars - 1 characters.
// An empty file name reads the system initialisation file, SystemIniPath().
QString ReadProfileString(const QString &file, const QString &section, const QString &key, const QString &defaultValue,
                          int maxChars);

// $XDG_CONFIG_HOME/win.ini (it may not exist).
QString SystemIniPath();
