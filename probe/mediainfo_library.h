#pragma once

#include <QString>
#include <array>
#include <cstddef>
#include <mutex>
#include <string>

// Binding to the MediaInfo library's flat wchar_t interface, loaded with dlopen on first
// use so that the application starts and converts without it. The library stays mapped
// until the process ends. Loading is guarded, so handles may be made on any thread (the
// run's prober has its own); each handle belongs to the thread that made it.
class MediaInfoLibrary {
public:
    static constexpr const char *kDefaultFileName = "libmediainfo.so.0";
    static constexpr int kEntryCount = 27;

    // fileName is handed to dlopen as it stands (a bare name searches the usual paths).
    explicit MediaInfoLibrary(std::string fileName = kDefaultFileName);
    MediaInfoLibrary(const MediaInfoLibrary &) = delete;
    MediaInfoLibrary &operator=(const MediaInfoLibrary &) = delete;

    // The process's one binding, on the library's usual name.
    static MediaInfoLibrary &Shared();

    // 1 once the library is loaded with every entry point resolved, else -1. A failed
    // load is not remembered: the next call tries again. A library that loads but lacks
    // some names stays loaded (IsLoaded) and serves whatever did resolve.
    int Load();

    bool IsLoaded() const;
    unsigned UseCount() const { return m_useCount; }
    int UnresolvedCount() const { return m_unresolved; }
    const std::string &FileName() const { return m_fileName; }

    // The library turns wchar_t paths into file-system bytes through the C library's
    // LC_CTYPE: sets it from the environment, or C.UTF-8 when that is not UTF-8. Done once,
    // on the first load; start-up may call it earlier, before other threads exist.
    static void PrepareCharacterLocale();

    // What a query answers when there is no library to ask.
    static QString FailureText();

    // Entry points by name, in the library's published order.
    static const std::array<const char *, kEntryCount> &EntryNames();

private:
    friend class MediaInfoHandle;
    enum Entry {
        New = 0,
        Delete = 2,
        Open = 4,
        Close = 10,
        Get = 16,
    };
    void *Address(Entry entry) const { return m_module ? m_entries[entry] : nullptr; }
    // Loads unless loaded already (a handle's first step).
    void EnsureLoaded();
    int LoadLocked();

    mutable std::mutex m_mutex; // guards loading

    std::string m_fileName;
    void *m_module = nullptr;
    unsigned m_useCount = 0;
    int m_unresolved = 0;
    std::array<void *, kEntryCount> m_entries{};
};

// One MediaInfo handle, owned for one probe. Every operation has a defined result without
// the library (or without the entry point it needs): no call goes through a null address.
class MediaInfoHandle {
public:
    enum StreamKind { General = 0, Video = 1, Audio = 2 };
    enum InfoKind { InfoName = 0, InfoText = 1 };

    // Loads the library when it is not loaded yet, then creates a handle.
    explicit MediaInfoHandle(MediaInfoLibrary &library);
    ~MediaInfoHandle();
    MediaInfoHandle(const MediaInfoHandle &) = delete;
    MediaInfoHandle &operator=(const MediaInfoHandle &) = delete;

    bool HasHandle() const { return m_handle != nullptr; }
    // A handle and every entry point a probe calls.
    bool CanQuery() const;
    // The library's answer; 0 means the file was not opened.
    size_t Open(const QString &path);
    // A copy of the answer (the library's buffer is not kept), or FailureText() without
    // a handle. Search by name.
    QString Get(StreamKind kind, size_t streamNumber, const QString &parameter, InfoKind info = InfoText);
    void Close();

private:
    MediaInfoLibrary &m_library;
    void *m_handle = nullptr;
};
