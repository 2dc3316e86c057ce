// formsdemo: opens one of kestrel's forms, as the program would load and
// show it, and runs until it is closed. A developer's tool; not shipped.
//   formsdemo logo|login|main [--fail STEP]
// --fail makes that one call of the forms fail, as the system might, to walk
// the road to the run-time error. A step the form never takes is refused
// with the usage text (exit status 64), as the run would otherwise look as
// if the failure had been survived.
// For the login dialog it prints bOK=-1 or bOK=0 when the dialog is done;
// for the main form, the font Text1 shows its text in, once it is loaded.
#include <windows.h>
#include <objbase.h>

#include <cstdio>
#include <cwchar>

#include "forms_app.h"
#include "frmMain.h"

namespace {

using kestrel::forms::FailingFormServices;
using kestrel::forms::FormName;
using Step = FailingFormServices::Step;

// The calls each form makes that can be made to fail.
struct FormSteps {
    FormName form;
    const char* usage;
    Step steps[4];
};
constexpr FormSteps kFormSteps[] = {
    {FormName::Logo, "  logo:  --fail window|dpi|lock|decode", {Step::Window, Step::Dpi, Step::Lock, Step::Decode}},
    {FormName::Login, "  login: --fail dialog|dpi|codepage", {Step::Dialog, Step::Dpi, Step::CodePage}},
    {FormName::Main, "  main:  --fail window|dpi|codepage", {Step::Window, Step::Dpi, Step::CodePage}},
};

bool FormTakes(FormName form, Step step)
{
    for (const auto& f : kFormSteps)
        if (f.form == form)
            for (const Step s : f.steps)
                if (s == step && s != Step::None) return true;
    return false;
}

int Usage()
{
    // The tool's reports: nothing more can be done when no one reads them.
    static_cast<void>(
        std::fputs("usage: formsdemo logo|login|main [--fail STEP]\nthe steps each form takes:\n", stderr));
    for (const auto& f : kFormSteps) static_cast<void>(std::fprintf(stderr, "%s\n", f.usage));
    return 64;
}

void DescribeText1Font(const kestrel::forms::frmMain& form)
{
    const LOGFONTW font = form.Text1Font();
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    char face[3 * LF_FACESIZE] = {};
    WideCharToMultiByte(CP_UTF8, 0, font.lfFaceName, -1, face, sizeof face, nullptr, nullptr);
    const long height = font.lfHeight < 0 ? -font.lfHeight : font.lfHeight;
    static_cast<void>(
        std::printf("Text1 font face=%s points=%ld weight=%ld italic=%d underline=%d strikeout=%d charset=%d\n", face,
                    (height * 72 + dpi / 2) / dpi, font.lfWeight, font.lfItalic, font.lfUnderline, font.lfStrikeOut,
                    font.lfCharSet));
    static_cast<void>(std::fflush(stdout));
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    FormName name;
    auto failing = Step::None;
    if (argc == 4 && std::wcscmp(argv[2], L"--fail") == 0) failing = FailingFormServices::ParseStep(argv[3]);
    if ((argc != 2 && argc != 4) || !kestrel::forms::ParseFormName(argv[1], name)) return Usage();
    if (argc == 4 && !FormTakes(name, failing)) return Usage();
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    FailingFormServices services(failing);
    const auto bOK = kestrel::forms::OpenForm(name, GetModuleHandleW(nullptr), services, DescribeText1Font);
    if (name == kestrel::forms::FormName::Login) {
        static_cast<void>(std::printf("bOK=%d\n", bOK));
        static_cast<void>(std::fflush(stdout));
    }
    if (SUCCEEDED(com)) CoUninitialize();
    return 0;
}
