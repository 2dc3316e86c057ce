#include "utility_start.h"

#include "handle.h"

namespace kestrel {

namespace {

// A little-endian number of `bytes` bytes at `at` in `head`, or 0 past it.
std::uint32_t Number(std::string_view head, std::size_t at, std::size_t bytes)
{
    std::uint32_t n = 0;
    for (std::size_t i = bytes; i-- > 0;)
        n = (n << 8) | (at + i < head.size() ? static_cast<unsigned char>(head[at + i]) : 0u);
    return n;
}

}  // namespace

bool ImageWhole(std::string_view head, std::uint64_t size)
{
    // "MZ", the offset of "PE\0\0" at 0x3C; after the signature the file
    // header (the section count at 2, the optional header's size at 16, the
    // characteristics at 18, 20 bytes), the optional header, then 40 bytes
    // a section: the raw data's size at 16 and its offset at 20 (PE Format,
    // Microsoft Learn).
    if (head.size() < 0x40 || head[0] != 'M' || head[1] != 'Z') return false;
    const std::size_t pe = Number(head, 0x3C, 4);
    if (pe > head.size() - 24 || head.compare(pe, 4, std::string_view("PE\0\0", 4)) != 0) return false;
    const std::size_t sections = Number(head, pe + 6, 2), table = pe + 24 + Number(head, pe + 20, 2);
    if (sections == 0 || table + sections * 40 > head.size()) return false;
    // A DLL (IMAGE_FILE_DLL in the characteristics at 22) maps as an image
    // but starts no process; nor does an image for a subsystem other than
    // the GUI's (2) or the console's (3), such as an EFI application (10),
    // at 68 in the optional header of either width (PE Format).
    const std::uint32_t subsystem = Number(head, pe + 24 + 68, 2);
    if ((Number(head, pe + 22, 2) & 0x2000) != 0 || (subsystem != 2 && subsystem != 3)) return false;
    for (std::size_t at = table; at < table + sections * 40; at += 40) {
        const std::uint64_t bytes = Number(head, at + 16, 4), offset = Number(head, at + 20, 4);
        if (bytes != 0 && offset + bytes > size) return false;
    }
    return true;
}

bool MapsAsImage(const std::wstring& path)
{
    // Read only, sharing everything, so that nobody is kept from the file.
    const Handle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size = {};
    char head[kImageHeadBytes];
    DWORD got = 0;
    if (!file || GetFileType(file.get()) != FILE_TYPE_DISK || !GetFileSizeEx(file.get(), &size) ||
        !ReadFile(file.get(), head, sizeof head, &got, nullptr) ||
        !ImageWhole(std::string_view(head, got), std::uint64_t(size.QuadPart)))
        return false;
    // The section is made, checked and dropped; no view of it is mapped.
    const Handle image(CreateFileMappingW(file.get(), nullptr, PAGE_READONLY | SEC_IMAGE, 0, 0, nullptr));
    return static_cast<bool>(image);
}

bool LoaderStatus(std::uint32_t status)
{
    switch (status) {
    case 0xC000007B:  // STATUS_INVALID_IMAGE_FORMAT
    case 0xC0000135:  // STATUS_DLL_NOT_FOUND
    case 0xC0000138:  // STATUS_ORDINAL_NOT_FOUND
    case 0xC0000139:  // STATUS_ENTRYPOINT_NOT_FOUND
    case 0xC0000142:  // STATUS_DLL_INIT_FAILED
    case 0xC0150002:  // STATUS_SXS_CANT_GEN_ACTCTX
        return true;
    default: return false;
    }
}

bool PastLoader(HANDLE process)
{
    DWORD status = 0;
    return !process || WaitForSingleObject(process, kLoaderMilliseconds) != WAIT_OBJECT_0 ||
           !GetExitCodeProcess(process, &status) || !LoaderStatus(status);
}

}  // namespace kestrel
