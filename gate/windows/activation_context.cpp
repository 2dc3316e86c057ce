#include "activation_context.h"

#include <windows.h>

#include <cstddef>
#include <vector>

namespace kestrel {

namespace {

wchar_t Fold(wchar_t c)
{
    if (c == L'/') return L'\\';
    return (c >= L'A' && c <= L'Z') ? wchar_t(c - L'A' + L'a') : c;
}

bool SamePath(std::wstring_view a, std::wstring_view b)
{
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (Fold(a[i]) != Fold(b[i])) return false;
    return true;
}

// The path from its drive letter or server name on, without the long-path
// prefix ("\\?\", "\\?\UNC\") or a share's "\\", so that each spelling of a
// root reads alike.
std::wstring_view FromRoot(std::wstring_view path)
{
    for (const std::wstring_view prefix : {L"\\\\?\\UNC\\", L"\\\\?\\", L"\\\\"})
        if (path.size() >= prefix.size() && SamePath(path.substr(0, prefix.size()), prefix))
            return path.substr(prefix.size());
    return path;
}

bool EndsWithManifest(std::wstring_view path)
{
    constexpr std::wstring_view kExtension = L".manifest";
    return path.size() >= kExtension.size() && SamePath(path.substr(path.size() - kExtension.size()), kExtension);
}

}  // namespace

RootManifest ProcessRootManifest()
{
    // The answer is the structure followed by the strings it points to; the
    // first call says how much room that takes.
    SIZE_T needed = 0;
    QueryActCtxW(0, nullptr, nullptr, ActivationContextDetailedInformation, nullptr, 0, &needed);
    if (needed < sizeof(ACTIVATION_CONTEXT_DETAILED_INFORMATION) || needed > 1024 * 1024) return {};
    std::vector<std::byte> buffer(needed);
    if (!QueryActCtxW(0, nullptr, nullptr, ActivationContextDetailedInformation, buffer.data(), buffer.size(), &needed))
        return {};
    const auto* info = reinterpret_cast<const ACTIVATION_CONTEXT_DETAILED_INFORMATION*>(buffer.data());
    RootManifest root;
    root.known = true;
    // The count may or may not take in a terminating null.
    if (info->lpRootManifestPath) {
        const std::wstring_view path(info->lpRootManifestPath, info->ulRootManifestPathChars);
        root.path = path.substr(0, path.find(L'\0'));
    }
    return root;
}

bool ForeignManifestGoverns(const RootManifest& root, std::wstring_view programPath, LongPathQuery longPath,
                            SameFileQuery sameFile)
{
    if (!root.known) return true;
    if (root.path.empty()) return false;
    if (EndsWithManifest(root.path) || programPath.empty()) return true;
    const std::wstring program(programPath);
    if (SamePath(FromRoot(root.path), FromRoot(program)) ||
        SamePath(FromRoot(longPath(root.path)), FromRoot(longPath(program))))
        return false;
    return !sameFile(root.path, programPath);
}

std::wstring LongPathOnDisk(const std::wstring& path)
{
    std::wstring longer(32768, L'\0');
    const DWORD n = GetLongPathNameW(path.c_str(), longer.data(), static_cast<DWORD>(longer.size()));
    if (n == 0 || n >= longer.size()) return path;
    longer.resize(n);
    return longer;
}

namespace {

// A file opened for its attributes only, shared every way, closed when it
// goes.
class OpenFile {
public:
    explicit OpenFile(const std::wstring& path)
        : h_(CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, 0, nullptr))
    {
    }
    ~OpenFile()
    {
        if (h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
    }
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;
    bool Read(BY_HANDLE_FILE_INFORMATION& info) const
    {
        return h_ != INVALID_HANDLE_VALUE && GetFileInformationByHandle(h_, &info);
    }

private:
    HANDLE h_;
};

}  // namespace

bool SameFileOnDisk(std::wstring_view a, std::wstring_view b)
{
    BY_HANDLE_FILE_INFORMATION first = {}, second = {};
    if (!OpenFile(std::wstring(a)).Read(first) || !OpenFile(std::wstring(b)).Read(second)) return false;
    return first.dwVolumeSerialNumber == second.dwVolumeSerialNumber && first.nFileIndexHigh == second.nFileIndexHigh &&
           first.nFileIndexLow == second.nFileIndexLow && first.nFileSizeHigh == second.nFileSizeHigh &&
           first.nFileSizeLow == second.nFileSizeLow &&
           first.ftLastWriteTime.dwLowDateTime == second.ftLastWriteTime.dwLowDateTime &&
           first.ftLastWriteTime.dwHighDateTime == second.ftLastWriteTime.dwHighDateTime;
}

}  // namespace kestrel
