#include "encoder/output_file.h"

#include "platform/file_system.h"

extern "C" {
#include <libavformat/avio.h>
#include <libavutil/mem.h>
}

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace mencoder {

using engine::FailureCode;

namespace {

constexpr int kAvioBufferSize = 1 << 18;

FailureCode CodeForErrno(int err)
{
    switch (err) {
    case ENOSPC:
    case EFBIG:
    case EDQUOT: return FailureCode::DiskFull;
    case EEXIST: return FailureCode::OutputExists;
    case EACCES:
    case EPERM:
    case EROFS:
    case ENOENT:
    case ENOTDIR: return FailureCode::OutputNotWritable;
    default: return FailureCode::OutputWriteError;
    }
}

std::string DirOf(const std::string &path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

std::string BaseOf(const std::string &path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Hidden files ".<base>.<pid>.part" whose writer is gone are leftovers of a killed run.
void RemoveStaleParts(const std::string &dir, const std::string &base)
{
    DIR *d = ::opendir(dir.c_str());
    if (!d)
        return;
    const std::string prefix = "." + base + ".";
    constexpr std::string_view suffix = ".part";
    while (const dirent *e = ::readdir(d)) {
        const std::string_view name = e->d_name;
        if (name.size() <= prefix.size() + suffix.size() || name.substr(0, prefix.size()) != prefix
            || name.substr(name.size() - suffix.size()) != suffix)
            continue;
        const std::string_view digits = name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
        if (digits.find_first_not_of("0123456789") != std::string_view::npos || digits.size() > 9)
            continue;
        const pid_t pid = static_cast<pid_t>(std::stol(std::string(digits)));
        if (pid > 0 && ::kill(pid, 0) != 0 && errno == ESRCH)
            ::unlinkat(::dirfd(d), e->d_name, 0);
    }
    ::closedir(d);
}

// Linux file systems hold names of at most 255 bytes.
constexpr std::size_t kNameMaxBytes = 255;

// The first bytes of a UTF-8 name, at most `bytes`, never ending inside a character.
std::string CutName(const std::string &name, std::size_t bytes)
{
    if (name.size() <= bytes)
        return name;
    std::size_t end = bytes;
    while (end > 0 && (static_cast<unsigned char>(name[end]) & 0xC0) == 0x80)
        --end;
    return name.substr(0, end);
}

// The part of a hidden temporary's name taken from the output's: room left for the dot, the
// process number and ".part".
std::string TemporaryStem(const std::string &base) { return CutName(base, kNameMaxBytes - 18); }

// A name without its last extension; ".clip" is a stem of its own.
std::string StemOf(const std::string &name)
{
    const std::size_t dot = name.rfind('.');
    return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

} // namespace

OutputFile::OtherName CountedNames(const std::string &input, const std::string &output)
{
    const std::string name = BaseOf(output);
    const std::size_t dot = name.rfind('.');
    const std::string extension = dot == std::string::npos || dot == 0 ? std::string() : name.substr(dot);
    const std::string inputStem = StemOf(BaseOf(input));
    const std::string stem = !inputStem.empty() && name.rfind(inputStem, 0) == 0 ? inputStem : StemOf(name);
    const std::string folder = output.substr(0, output.size() - name.size());
    // A long stem gives way to the counter, as the application's names do.
    return [=](int counter) {
        const std::string tail = "(" + std::to_string(counter) + ")" + extension;
        return folder + CutName(stem, kNameMaxBytes - std::min(tail.size(), kNameMaxBytes)) + tail;
    };
}

OutputFile::~OutputFile() { Discard(); }

FailureCode OutputFile::Open(const std::string &path)
{
    Discard();
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0)
        return FailureCode::OutputExists;
    if (errno != ENOENT)
        return CodeForErrno(errno);

    const std::string dir = DirOf(path);
    m_fd = ::open(dir.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
    if (m_fd < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
        // No unnamed files here: a hidden name of our own, exclusively.
        const std::string base = TemporaryStem(BaseOf(path));
        RemoveStaleParts(dir, base);
        m_tempPath = dir + "/." + base + "." + std::to_string(::getpid()) + ".part";
        m_fd = ::open(m_tempPath.c_str(), O_CREAT | O_EXCL | O_RDWR | O_CLOEXEC, 0666);
        if (m_fd < 0)
            m_tempPath.clear();
    }
    if (m_fd < 0)
        return CodeForErrno(errno);

    auto *buffer = static_cast<unsigned char *>(av_malloc(kAvioBufferSize));
    m_avio = buffer
                 ? avio_alloc_context(buffer, kAvioBufferSize, 1, this, nullptr, &OutputFile::Write, &OutputFile::Seek)
                 : nullptr;
    if (!m_avio) {
        av_free(buffer);
        Discard();
        return FailureCode::Internal;
    }
    m_path = path;
    return FailureCode::None;
}

int OutputFile::Write(void *opaque, uint8_t *buf, int size)
{
    auto *self = static_cast<OutputFile *>(opaque);
    int done = 0;
    while (done < size) {
        const ssize_t w = ::write(self->m_fd, buf + done, std::size_t(size - done));
        if (w < 0) {
            if (errno == EINTR)
                continue;
            if (!self->m_writeErrno)
                self->m_writeErrno = errno;
            return AVERROR(errno);
        }
        done += int(w);
    }
    return size;
}

int64_t OutputFile::Seek(void *opaque, int64_t offset, int whence)
{
    auto *self = static_cast<OutputFile *>(opaque);
    if (whence & AVSEEK_SIZE) {
        struct stat st {};
        return ::fstat(self->m_fd, &st) == 0 ? st.st_size : AVERROR(errno);
    }
    const off_t at = ::lseek(self->m_fd, offset, whence & ~AVSEEK_FORCE);
    return at < 0 ? AVERROR(errno) : at;
}

FailureCode OutputFile::WriteFailure() const
{
    if (m_writeErrno)
        return CodeForErrno(m_writeErrno) == FailureCode::DiskFull ? FailureCode::DiskFull
                                                                   : FailureCode::OutputWriteError;
    if (m_avio && m_avio->error < 0)
        return FailureCode::OutputWriteError;
    return FailureCode::None;
}

int OutputFile::Link(const std::string &path) const
{
    if (m_tempPath.empty()) {
        const std::string self = "/proc/self/fd/" + std::to_string(m_fd);
        if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0)
            return 0;
        if (errno == EEXIST)
            return EEXIST;
        return ::linkat(m_fd, "", AT_FDCWD, path.c_str(), AT_EMPTY_PATH) == 0 ? 0 : errno;
    }
    return platform::RenameNoReplace(m_tempPath, path);
}

FailureCode OutputFile::Commit(const OtherName &otherName)
{
    if (m_fd < 0 || !m_avio)
        return FailureCode::Internal;
    avio_flush(m_avio);
    if (const FailureCode failed = WriteFailure(); failed != FailureCode::None) {
        Discard();
        return failed;
    }

    int err = Link(m_path);
    // Someone took the name while we wrote: the next free one, as a new file would get.
    for (int counter = 1; err == EEXIST && otherName && counter <= kMaxOtherNames; ++counter) {
        const std::string other = otherName(counter);
        err = Link(other);
        if (err == 0)
            m_path = other;
    }
    if (err != 0) {
        Discard();
        return err == EEXIST ? FailureCode::OutputExists : CodeForErrno(err);
    }
    m_tempPath.clear(); // renamed
    av_freep(&m_avio->buffer);
    avio_context_free(&m_avio);
    const int closed = ::close(m_fd);
    m_fd = -1;
    if (closed != 0) {
        // Delayed write errors surface at close on some file systems: the file is not whole.
        const int closeErr = errno;
        ::unlink(m_path.c_str());
        return CodeForErrno(closeErr) == FailureCode::DiskFull ? FailureCode::DiskFull : FailureCode::OutputWriteError;
    }
    return FailureCode::None;
}

void OutputFile::Discard()
{
    if (m_avio) {
        av_freep(&m_avio->buffer);
        avio_context_free(&m_avio);
    }
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (!m_tempPath.empty()) {
        ::unlink(m_tempPath.c_str());
        m_tempPath.clear();
    }
}

} // namespace mencoder
