// The release check's negative controls: gates that do what kestrel.exe
// guards against. Built once for each fault:
//  - BADGATE_LOAD: loads a DLL by bare name with the default search, which
//    looks in its own folder first;
//  - BADGATE_MAP_ONLY: maps that DLL without running its code
//    (DONT_RESOLVE_DLL_REFERENCES), as a dependency whose imports cannot be
//    bound is mapped and then dropped;
//  - BADGATE_ERROR_ICON: loads nothing, but its box has the error icon;
//  - BADGATE_CHILD: starts a copy of itself, which loads that DLL;
//  - BADGATE_DRIVER: loads a driver (msacm32.drv) by bare name;
// each then shows the wrong-model box as kestrel.exe would for the tests'
// board and ends with its status. On the launch road:
//  - BADGATE_TWICE: starts the utility beside it twice (a retry that never
//    looked at the first start);
//  - BADGATE_CWD: starts the current folder's WinPhlash.exe when there is
//    one.
#include <windows.h>

#include <string>

namespace {

[[maybe_unused]] bool Start(std::wstring path, std::wstring commandLine, const wchar_t* folder)
{
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, folder, &startup,
                        &process))
        return false;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

[[maybe_unused]] std::wstring OwnFolder()
{
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring folder = self;
    return folder.substr(0, folder.find_last_of(L'\\'));
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR arguments, int)
{
    UINT icon = MB_ICONWARNING;
#if defined(BADGATE_LOAD)
    LoadLibraryW(L"dwmapi.dll");
#elif defined(BADGATE_MAP_ONLY)
    LoadLibraryExW(L"dwmapi.dll", nullptr, DONT_RESOLVE_DLL_REFERENCES);
#elif defined(BADGATE_DRIVER)
    LoadLibraryW(L"msacm32.drv");
#elif defined(BADGATE_ERROR_ICON)
    icon = MB_ICONERROR;
#elif defined(BADGATE_CHILD)
    if (arguments && std::wstring(arguments) == L"child") return LoadLibraryW(L"dwmapi.dll") ? 0 : 1;
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    Start(self, L"\"" + std::wstring(self) + L"\" child", nullptr);
#elif defined(BADGATE_TWICE) || defined(BADGATE_CWD)
    const std::wstring folder = OwnFolder();
    std::wstring utility = folder + L"\\WinPhlash.exe";
#if defined(BADGATE_CWD)
    wchar_t cwd[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, cwd);
    if (GetFileAttributesW((std::wstring(cwd) + L"\\WinPhlash.exe").c_str()) != INVALID_FILE_ATTRIBUTES)
        utility = std::wstring(cwd) + L"\\WinPhlash.exe";
#endif
    bool started = Start(utility, L"\"" + utility + L"\"", folder.c_str());
#if defined(BADGATE_TWICE)
    started = Start(utility, L"\"" + utility + L"\"", folder.c_str()) && started;
#endif
    return started ? 0 : 3;
#endif
    static_cast<void>(arguments);
    MessageBoxW(nullptr, L"This BIOS is not for your Notebook PC.", L"WinPhlash", MB_OK | icon);
    return 2;
}
