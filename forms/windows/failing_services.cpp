// The developer's tool's services: the system's calls, one of them failing
// on request.
#include <cwchar>

#include "form_services.h"

namespace kestrel::forms {

FailingFormServices::Step FailingFormServices::ParseStep(const wchar_t* name)
{
    struct Named {
        const wchar_t* name;
        Step step;
    };
    static constexpr Named kSteps[] = {{L"window", Step::Window}, {L"dialog", Step::Dialog},
                                       {L"dpi", Step::Dpi},       {L"lock", Step::Lock},
                                       {L"decode", Step::Decode}, {L"codepage", Step::CodePage}};
    for (const auto& s : kSteps)
        if (std::wcscmp(name, s.name) == 0) return s.step;
    return Step::None;
}

bool FailingFormServices::Fails(Step step) const
{
    if (step != failing_) return false;
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return true;
}

HWND FailingFormServices::MakeWindow(DWORD exStyle, const wchar_t* windowClass, const wchar_t* title, DWORD style,
                                     HWND owner, HINSTANCE instance, void* param)
{
    return Fails(Step::Window) ? nullptr
                               : FormServices::MakeWindow(exStyle, windowClass, title, style, owner, instance, param);
}

HWND FailingFormServices::MakeDialog(HINSTANCE instance, const DLGTEMPLATE* dialogTemplate, HWND owner,
                                     DLGPROC procedure, LPARAM param)
{
    return Fails(Step::Dialog) ? nullptr : FormServices::MakeDialog(instance, dialogTemplate, owner, procedure, param);
}

HDC FailingFormServices::ScreenDc() { return Fails(Step::Dpi) ? nullptr : FormServices::ScreenDc(); }

void* FailingFormServices::LockMemory(HGLOBAL memory)
{
    return Fails(Step::Lock) ? nullptr : FormServices::LockMemory(memory);
}

HRESULT FailingFormServices::DecodePicture(IStream* stream, LONG size, IPicture** picture)
{
    // What OleLoadPicture answers for data that is no picture.
    return Fails(Step::Decode) ? CTL_E_INVALIDPICTURE : FormServices::DecodePicture(stream, size, picture);
}

int FailingFormServices::DecodeText(UINT codePage, const char* bytes, int size, wchar_t* out, int outSize)
{
    // What a system without the code page answers (an XP without the East
    // Asian language files): ERROR_INVALID_PARAMETER.
    if (failing_ == Step::CodePage) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    return FormServices::DecodeText(codePage, bytes, size, out, outSize);
}

}  // namespace kestrel::forms
