// formsdemo: opens one of kestrel's forms, as the program would load and
// show it, and runs until it is closed. A developer's tool; not shipped.
//   formsdemo logo|login|main [--fail window|dialog|dpi|lock|decode|codepage]
// --fail makes that one call of the forms fail, as the system might, to walk
// the road to the run-time error.
// For the login dialog it prints bOK=-1 or bOK=0 when the dialog is done;
// for the main form, the font Text1 shows its text in, once it is loaded.
#include <windows.h>
#include <objbase.h>

#include <cstdio>
#include <cwchar>

#include "forms_app.h"
#include "frmMain.h"

namespace {

void DescribeText1Font(const kestrel::forms::frmMain& form)
{
    const LOGFONTW font = form.Text1Font();
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    char face[3 * LF_FACESIZE] = {};
    WideCharToMultiByte(CP_UTF8, 0, font.lfFaceName, -1, face, sizeof face, nullptr, nullptr);
    const long height = font.lfHeight < 0 ? -font.lfHeight : font.lfHeight;
    std::printf("Text1 font face=%s points=%ld weight=%ld italic=%d underline=%d strikeout=%d charset=%d\n", face,
                (height * 72 + dpi / 2) / dpi, font.lfWeight, font.lfItalic, font.lfUnderline, font.lfStrikeOut,
                font.lfCharSet);
    std::fflush(stdout);
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    using kestrel::forms::FailingFormServices;
    kestrel::forms::FormName name;
    auto failing = FailingFormServices::Step::None;
    if (argc == 4 && std::wcscmp(argv[2], L"--fail") == 0) failing = FailingFormServices::ParseStep(argv[3]);
    if ((argc != 2 && failing == FailingFormServices::Step::None) || !kestrel::forms::ParseFormName(argv[1], name)) {
        std::fprintf(stderr, "usage: formsdemo logo|login|main [--fail window|dialog|dpi|lock|decode|codepage]\n");
        return 64;
    }
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    FailingFormServices services(failing);
    const auto bOK = kestrel::forms::OpenForm(name, GetModuleHandleW(nullptr), services, DescribeText1Font);
    if (name == kestrel::forms::FormName::Login) {
        std::printf("bOK=%d\n", bOK);
        std::fflush(stdout);
    }
    if (SUCCEEDED(com)) CoUninitialize();
    return 0;
}
