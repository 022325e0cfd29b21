#include "shell/lang.h"

#include "shell/app_paths.h"

#include <QFile>
#include <QHash>
#include <QStandardPaths>
#include <QStringConverter>

#include <climits>
#include <mutex>
#include <optional>
#include <shared_mutex>

namespace {

using Section = QHash<QString, QString>; // lower-case key -> value
using Profile = QHash<QString, Section>; // lower-case section -> keys

QString Unquote(QString value)
{
    if (value.size() >= 2 && value.startsWith(QLatin1Char('"')) && value.endsWith(QLatin1Char('"')))
        value = value.mid(1, value.size() - 2);
    return value;
}

std::optional<Profile> ParseProfile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray data = file.readAll();
    const auto encoding = QStringConverter::encodingForData(data).value_or(QStringConverter::Utf8);
    QStringDecoder decode(encoding); // drops a leading BOM
    const QString text = decode(data);

    Profile profile;
    Section *current = nullptr;
    for (QStringView line : QStringView(text).split(QLatin1Char('\n'))) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char(';')))
            continue;
        if (line.startsWith(QLatin1Char('['))) {
            const qsizetype close = line.indexOf(QLatin1Char(']'));
            const QString name = line.mid(1, close < 0 ? -1 : close - 1).trimmed().toString().toLower();
            current = &profile[name];
            continue;
        }
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (!current || eq <= 0)
            continue;
        const QString key = line.left(eq).trimmed().toString().toLower();
        if (!current->contains(key))
            current->insert(key, Unquote(line.mid(eq + 1).trimmed().toString()));
    }
    return profile;
}

struct LangState {
    std::shared_mutex mutex;
    bool loaded = false;
    QString path;
    Profile profile;
};

LangState &State()
{
    static LangState state;
    return state;
}

// Caller holds the unique lock.
bool LoadLocked(LangState &s, const QString &path)
{
    auto parsed = ParseProfile(path);
    s.loaded = true;
    s.path = path;
    s.profile = parsed ? std::move(*parsed) : Profile();
    return parsed.has_value();
}

} // namespace

bool Lang::Start(const QString &path)
{
    LangState &s = State();
    std::unique_lock lock(s.mutex);
    return LoadLocked(s, path);
}

void Lang::End()
{
    LangState &s = State();
    std::unique_lock lock(s.mutex);
    s.loaded = false;
    s.path.clear();
    s.profile.clear();
}

QString Lang::Get(const QString &key) { return Get(QStringLiteral("String"), key); }

QString Lang::Get(const QString &section, const QString &key)
{
    LangState &s = State();
    {
        std::shared_lock lock(s.mutex);
        if (s.loaded)
            return s.profile.value(section.toLower()).value(key.toLower());
    }
    std::unique_lock lock(s.mutex);
    if (!s.loaded)
        LoadLocked(s, AppPaths::Current().langFile);
    return s.profile.value(section.toLower()).value(key.toLower());
}

int Lang::GetInt(const QString &key) { return Wtoi(Get(key)); }

QString Lang::LoadedPath()
{
    LangState &s = State();
    std::shared_lock lock(s.mutex);
    return s.path;
}

int Wtoi(const QString &text)
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && (text[i] == QLatin1Char(' ') || (text[i] >= QLatin1Char('\t') && text[i] <= QLatin1Char('\r'))))
        ++i;
    bool negative = false;
    if (i < n && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-')))
        negative = text[i++] == QLatin1Char('-');
    long long value = 0;
    for (; i < n && text[i] >= QLatin1Char('0') && text[i] <= QLatin1Char('9'); ++i) {
        value = value * 10 + (text[i].unicode() - '0');
        if (value > static_cast<long long>(INT_MAX) + 1)
            break;
    }
    if (negative)
        value = -value;
    if (value > INT_MAX)
        return INT_MAX;
    if (value < INT_MIN)
        return INT_MIN;
    return static_cast<int>(value);
}

QString SystemIniPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/win.ini");
}

QString ReadProfileString(const QString &file, const QString &section, const QString &key, const QString &defaultValue,
                          int maxChars)
{
    if (maxChars <= 0)
        return QString();
    const auto profile = ParseProfile(file.isEmpty() ? SystemIniPath() : file);
    QString value = defaultValue;
    if (profile) {
        const auto sec = profile->constFind(section.toLower());
        if (sec != profile->cend()) {
            const auto it = sec->constFind(key.toLower());
            if (it != sec->cend())
                value = *it;
        }
    }
    return value.left(maxChars - 1);
}
