#include "activation_context.h"

#include <windows.h>

#include <cstddef>
#include <vector>

namespace kestrel {

namespace {

wchar_t FoldAscii(wchar_t c) { return (c >= L'A' && c <= L'Z') ? wchar_t(c - L'A' + L'a') : c; }

bool SamePath(std::wstring_view a, std::wstring_view b)
{
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
    return true;
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

bool ForeignManifestGoverns(const RootManifest& root, std::wstring_view programPath)
{
    if (!root.known) return true;
    return !root.path.empty() && !SamePath(root.path, programPath);
}

}  // namespace kestrel
