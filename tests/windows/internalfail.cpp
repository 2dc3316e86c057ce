// Forces kestrel.exe's internal failures through the very runtime file the
// program links: a failed allocation, or a length past what a container can
// hold. The process must end with the internal-failure status and no box;
// once a flash runs (started), with the status set for it instead.
//   internalfail alloc|length|started
#include <windows.h>

#include <cstdint>
#include <cwchar>
#include <string>
#include <vector>

#include "runtime.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR arguments, int)
{
    std::wstring what = arguments ? arguments : L"";
    if (what == L"started") {
        // What a waiting fleet run sets once its utility runs.
        kestrel::SetInternalFailureStatus(6);
        what = L"alloc";
    }
    if (what == L"alloc") {
        // Nearly the whole 32-bit address space, in one piece: more than
        // any process can be given, its own image being mapped in it.
        volatile std::size_t huge = std::size_t(0xFFFF0000u);
        [[maybe_unused]] static char* volatile kept;
        kept = new char[huge];
        return 1;
    }
    if (what == L"length") {
        std::vector<std::uint64_t> v;
        v.reserve(v.max_size() + std::size_t(1));
        return 1;
    }
    return 64;
}
