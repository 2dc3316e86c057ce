// Forces kestrel.exe's internal failures through the very runtime file the
// program links: a failed allocation, or a length past what a container can
// hold. The process must end with the internal-failure status and no box.
//   internalfail alloc|length
#include <windows.h>

#include <cstdint>
#include <cwchar>
#include <string>
#include <vector>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR arguments, int)
{
    const std::wstring what = arguments ? arguments : L"";
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
