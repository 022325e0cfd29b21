#include "platform/native_name.h"

#include "platform/file_system.h"

#include <QDir>

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

constexpr char16_t kEscape = 0xDC00;

bool IsEscape(char16_t u) { return u >= 0xDC80 && u <= 0xDCFF; }

// An escape stands for a byte unless it is the low half of a pair.
bool IsRawByteAt(const QString &name, qsizetype i)
{
    return IsEscape(name[i].unicode()) && !(i > 0 && name[i - 1].isHighSurrogate());
}

// Length of the strict UTF-8 sequence at s (no overlong forms, no surrogates, nothing past
// U+10FFFF), 0 when there is none.
int SequenceLength(const unsigned char *s, qsizetype left, char32_t &cp)
{
    const unsigned char c = s[0];
    if (c < 0x80) {
        cp = c;
        return 1;
    }
    int n = 0;
    char32_t min = 0;
    if (c >= 0xC2 && c <= 0xDF) {
        n = 2;
        cp = c & 0x1F;
        min = 0x80;
    } else if (c >= 0xE0 && c <= 0xEF) {
        n = 3;
        cp = c & 0x0F;
        min = 0x800;
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4;
        cp = c & 0x07;
        min = 0x10000;
    } else {
        return 0;
    }
    if (left < n)
        return 0;
    for (int k = 1; k < n; ++k) {
        if ((s[k] & 0xC0) != 0x80)
            return 0;
        cp = cp << 6 | (s[k] & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return n;
}

} // namespace

QString NameFromNative(QByteArrayView bytes)
{
    QString name;
    name.reserve(bytes.size());
    const auto *s = reinterpret_cast<const unsigned char *>(bytes.data());
    for (qsizetype i = 0; i < bytes.size();) {
        char32_t cp = 0;
        const int n = SequenceLength(s + i, bytes.size() - i, cp);
        if (n == 0) {
            name += QChar(char16_t(kEscape + s[i]));
            ++i;
            continue;
        }
        if (cp >= 0x10000) {
            name += QChar::highSurrogate(cp);
            name += QChar::lowSurrogate(cp);
        } else {
            name += QChar(char16_t(cp));
        }
        i += n;
    }
    return name;
}

QByteArray NativeName(const QString &name)
{
    if (!HasRawBytes(name))
        return name.toUtf8();
    QByteArray bytes;
    qsizetype plain = 0; // start of the run of ordinary characters not yet written
    for (qsizetype i = 0; i < name.size(); ++i) {
        if (!IsRawByteAt(name, i))
            continue;
        bytes += QStringView(name).mid(plain, i - plain).toUtf8();
        bytes += char(name[i].unicode() - kEscape);
        plain = i + 1;
    }
    bytes += QStringView(name).mid(plain).toUtf8();
    return bytes;
}

bool HasRawBytes(const QString &name)
{
    for (qsizetype i = 0; i < name.size(); ++i) {
        if (IsRawByteAt(name, i))
            return true;
    }
    return false;
}

QString ShownName(const QString &name)
{
    if (!HasRawBytes(name))
        return name;
    QString shown = name;
    for (qsizetype i = 0; i < shown.size(); ++i) {
        if (IsRawByteAt(name, i))
            shown[i] = QChar::ReplacementCharacter;
    }
    return shown;
}

NameInfo StatName(const QString &path)
{
    NameInfo info;
    if (path.isEmpty())
        return info;
    const QByteArray native = NativeName(path);
    struct stat st {};
    if (::lstat(native.constData(), &st) != 0)
        return info;
    info.isLink = S_ISLNK(st.st_mode);
    if (info.isLink && ::stat(native.constData(), &st) != 0)
        return info;
    info.exists = true;
    info.isFile = S_ISREG(st.st_mode);
    info.isDir = S_ISDIR(st.st_mode);
    info.size = qint64(st.st_size);
    info.id = {quint64(st.st_dev), quint64(st.st_ino)};
    return info;
}

bool NameTaken(const QString &path)
{
    const NameInfo info = StatName(path);
    return info.exists || info.isLink;
}

QString AbsoluteName(const QString &path)
{
    if (path.isEmpty() || path.startsWith(QLatin1Char('/')))
        return QDir::cleanPath(path);
    char *here = ::getcwd(nullptr, 0);
    const QString folder = here ? NameFromNative(here) : QDir::currentPath();
    ::free(here);
    return QDir::cleanPath(folder + QLatin1Char('/') + path);
}

QStringList FolderNames(const QString &folder)
{
    QStringList names;
    DIR *dir = ::opendir(NativeName(folder).constData());
    if (!dir)
        return names;
    while (const dirent *entry = ::readdir(dir)) {
        const QByteArrayView name(entry->d_name);
        if (name != ".." && name != ".")
            names << NameFromNative(name);
    }
    ::closedir(dir);
    names.sort();
    return names;
}

QString NameOnDisk(const QString &path)
{
    if (!path.startsWith(QLatin1Char('/')) || !path.contains(QChar::ReplacementCharacter) || StatName(path).exists)
        return path;
    QString found;
    for (const QString &part : path.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        QString next = found + QLatin1Char('/') + part;
        if (part.contains(QChar::ReplacementCharacter) && !StatName(next).exists) {
            QString match;
            for (const QString &name : FolderNames(found.isEmpty() ? QStringLiteral("/") : found)) {
                if (QString::fromUtf8(NativeName(name)) != part)
                    continue;
                if (!match.isEmpty())
                    return path; // two names look alike: neither is sure
                match = name;
            }
            if (match.isEmpty())
                return path;
            next = found + QLatin1Char('/') + match;
        }
        found = next;
    }
    return found;
}

bool RenameNoReplace(const QString &from, const QString &to)
{
    const int failed = RenameNoReplace(NativeName(from).toStdString(), NativeName(to).toStdString());
    errno = failed;
    return failed == 0;
}

ReadableName::ReadableName(const QString &path)
    : m_path(path)
{
    if (!HasRawBytes(path))
        return;
    m_fd = ::open(NativeName(path).constData(), O_RDONLY | O_CLOEXEC);
    // Without the file the name stays as it is, and opening it fails as it would have.
    if (m_fd >= 0)
        m_path = QStringLiteral("/proc/self/fd/%1").arg(m_fd);
}

ReadableName::~ReadableName()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

} // namespace platform
