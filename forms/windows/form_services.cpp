#include "form_services.h"

namespace kestrel::forms {

HWND FormServices::MakeWindow(DWORD exStyle, const wchar_t* windowClass, const wchar_t* title, DWORD style, HWND owner,
                              HINSTANCE instance, void* param)
{
    return CreateWindowExW(exStyle, windowClass, title, style, CW_USEDEFAULT, CW_USEDEFAULT, 0, 0, owner, nullptr,
                           instance, param);
}

HWND FormServices::MakeDialog(HINSTANCE instance, const DLGTEMPLATE* dialogTemplate, HWND owner, DLGPROC procedure,
                              LPARAM param)
{
    return CreateDialogIndirectParamW(instance, dialogTemplate, owner, procedure, param);
}

HDC FormServices::ScreenDc() { return GetDC(nullptr); }

void* FormServices::LockMemory(HGLOBAL memory) { return GlobalLock(memory); }

HRESULT FormServices::DecodePicture(IStream* stream, LONG size, IPicture** picture)
{
    return OleLoadPicture(stream, size, FALSE, IID_IPicture, reinterpret_cast<void**>(picture));
}

int FormServices::DecodeText(UINT codePage, const char* bytes, int size, wchar_t* out, int outSize)
{
    return MultiByteToWideChar(codePage, 0, bytes, size, out, outSize);
}

}  // namespace kestrel::forms
