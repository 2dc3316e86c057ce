#include "utility_start.h"

#include "handle.h"

namespace kestrel {

bool MapsAsImage(const std::wstring& path)
{
    // Read only, sharing everything, so that nobody is kept from the file.
    const Handle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file || GetFileType(file.get()) != FILE_TYPE_DISK) return false;
    // The section is made and a view of it mapped, as for a process, then
    // both are dropped: nothing of the image runs.
    const Handle image(CreateFileMappingW(file.get(), nullptr, PAGE_READONLY | SEC_IMAGE, 0, 0, nullptr));
    void* const view = image ? MapViewOfFile(image.get(), FILE_MAP_READ, 0, 0, 0) : nullptr;
    if (view) UnmapViewOfFile(view);
    return view != nullptr;
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
