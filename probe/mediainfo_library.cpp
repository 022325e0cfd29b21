#include "probe/mediainfo_library.h"

#include <clocale>
#include <cstring>
#include <dlfcn.h>
#include <langinfo.h>
#include <mutex>

namespace {

using NewFn = void *(*)();
using DeleteFn = void (*)(void *);
using OpenFn = size_t (*)(void *, const wchar_t *);
using CloseFn = void (*)(void *);
using GetFn = const wchar_t *(*)(void *, int, size_t, const wchar_t *, int, int);

template <typename Fn>
Fn As(void *address)
{
    return reinterpret_cast<Fn>(address);
}

} // namespace

MediaInfoLibrary::MediaInfoLibrary(std::string fileName)
    : m_fileName(std::move(fileName))
{
}

void MediaInfoLibrary::PrepareCharacterLocale()
{
    // In the plain "C" locale a path with "é" does not open.
    static std::once_flag once;
    std::call_once(once, [] {
        std::setlocale(LC_CTYPE, "");
        const char *codeset = nl_langinfo(CODESET);
        if (!codeset || std::strcmp(codeset, "UTF-8") != 0)
            std::setlocale(LC_CTYPE, "C.UTF-8");
    });
}

MediaInfoLibrary &MediaInfoLibrary::Shared()
{
    static MediaInfoLibrary library;
    return library;
}

QString MediaInfoLibrary::FailureText() { return QStringLiteral("Unable to load MediaInfo.dll"); }

const std::array<const char *, MediaInfoLibrary::kEntryCount> &MediaInfoLibrary::EntryNames()
{
    static const std::array<const char *, kEntryCount> names = {
        "MediaInfo_New",
        "MediaInfoList_New",
        "MediaInfo_Delete",
        "MediaInfoList_Delete",
        "MediaInfo_Open",
        "MediaInfoList_Open",
        "MediaInfo_Open_Buffer_Init",
        "MediaInfo_Open_Buffer_Continue",
        "MediaInfo_Open_Buffer_Continue_GoTo_Get",
        "MediaInfo_Open_Buffer_Finalize",
        "MediaInfo_Close",
        "MediaInfoList_Close",
        "MediaInfo_Inform",
        "MediaInfoList_Inform",
        "MediaInfo_GetI",
        "MediaInfoList_GetI",
        "MediaInfo_Get",
        "MediaInfoList_Get",
        "MediaInfo_Output_Buffer_Get",
        "MediaInfo_Output_Buffer_GetI",
        "MediaInfo_Option",
        "MediaInfoList_Option",
        "MediaInfo_State_Get",
        "MediaInfoList_State_Get",
        "MediaInfo_Count_Get",
        "MediaInfoList_Count_Get",
        "MediaInfoList_Count_Get_Files",
    };
    return names;
}

bool MediaInfoLibrary::IsLoaded() const
{
    std::lock_guard lock(m_mutex);
    return m_module != nullptr;
}

int MediaInfoLibrary::Load()
{
    std::lock_guard lock(m_mutex);
    return LoadLocked();
}

void MediaInfoLibrary::EnsureLoaded()
{
    std::lock_guard lock(m_mutex);
    if (!m_module)
        LoadLocked();
}

int MediaInfoLibrary::LoadLocked()
{
    if (m_useCount > 0) {
        ++m_useCount;
        return 1;
    }
    if (!m_module) {
        PrepareCharacterLocale();
        m_module = dlopen(m_fileName.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!m_module)
            return -1;
    }
    m_unresolved = 0;
    for (int i = 0; i < kEntryCount; ++i) {
        m_entries[i] = dlsym(m_module, EntryNames()[i]);
        if (!m_entries[i])
            ++m_unresolved;
    }
    if (m_unresolved > 0)
        return -1;
    ++m_useCount;
    return 1;
}

MediaInfoHandle::MediaInfoHandle(MediaInfoLibrary &library)
    : m_library(library)
{
    m_library.EnsureLoaded();
    if (void *fn = m_library.Address(MediaInfoLibrary::New))
        m_handle = As<NewFn>(fn)();
}

MediaInfoHandle::~MediaInfoHandle()
{
    if (!m_handle)
        return;
    if (void *fn = m_library.Address(MediaInfoLibrary::Delete))
        As<DeleteFn>(fn)(m_handle);
}

bool MediaInfoHandle::CanQuery() const
{
    return m_handle && m_library.Address(MediaInfoLibrary::Open) && m_library.Address(MediaInfoLibrary::Get)
           && m_library.Address(MediaInfoLibrary::Close) && m_library.Address(MediaInfoLibrary::Delete);
}

size_t MediaInfoHandle::Open(const QString &path)
{
    void *fn = m_library.Address(MediaInfoLibrary::Open);
    if (!m_handle || !fn)
        return 0;
    const std::wstring wide = path.toStdWString();
    return As<OpenFn>(fn)(m_handle, wide.c_str());
}

QString MediaInfoHandle::Get(StreamKind kind, size_t streamNumber, const QString &parameter, InfoKind info)
{
    void *fn = m_library.Address(MediaInfoLibrary::Get);
    if (!m_handle || !fn)
        return MediaInfoLibrary::FailureText();
    const std::wstring wide = parameter.toStdWString();
    const wchar_t *answer = As<GetFn>(fn)(m_handle, kind, streamNumber, wide.c_str(), info, 0);
    return answer ? QString::fromWCharArray(answer) : QString();
}

void MediaInfoHandle::Close()
{
    if (!m_handle)
        return;
    if (void *fn = m_library.Address(MediaInfoLibrary::Close))
        As<CloseFn>(fn)(m_handle);
}
