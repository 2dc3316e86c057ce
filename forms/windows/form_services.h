// The platform calls of the forms that can fail, as one seam: the system's
// own, or, in the developer's tool, ones that fail on request, so that every
// road to the run-time error can be walked.
#pragma once

#include <windows.h>
#include <ocidl.h>
#include <olectl.h>

namespace kestrel::forms {

class FormServices {
public:
    virtual ~FormServices() = default;
    // A form's own top-level window, at the default position, of no size yet.
    virtual HWND MakeWindow(DWORD exStyle, const wchar_t* windowClass, const wchar_t* title, DWORD style, HWND owner,
                            HINSTANCE instance, void* param);
    virtual HWND MakeDialog(HINSTANCE instance, const DLGTEMPLATE* dialogTemplate, HWND owner, DLGPROC procedure,
                            LPARAM param);
    // The screen's device context, for its dots per inch.
    virtual HDC ScreenDc();
    virtual void* LockMemory(HGLOBAL memory);
    virtual HRESULT DecodePicture(IStream* stream, LONG size, IPicture** picture);
    // MultiByteToWideChar from a code page; 0 on failure, as it answers.
    virtual int DecodeText(UINT codePage, const char* bytes, int size, wchar_t* out, int outSize);
};

// The system's calls, failing one of them on request.
class FailingFormServices final : public FormServices {
public:
    enum class Step { None, Window, Dialog, Dpi, Lock, Decode, CodePage };

    explicit FailingFormServices(Step failing) : failing_(failing) {}
    // From "window", "dialog", "dpi", "lock", "decode" or "codepage"; None
    // for others.
    static Step ParseStep(const wchar_t* name);

    HWND MakeWindow(DWORD exStyle, const wchar_t* windowClass, const wchar_t* title, DWORD style, HWND owner,
                    HINSTANCE instance, void* param) override;
    HWND MakeDialog(HINSTANCE instance, const DLGTEMPLATE* dialogTemplate, HWND owner, DLGPROC procedure,
                    LPARAM param) override;
    HDC ScreenDc() override;
    void* LockMemory(HGLOBAL memory) override;
    HRESULT DecodePicture(IStream* stream, LONG size, IPicture** picture) override;
    int DecodeText(UINT codePage, const char* bytes, int size, wchar_t* out, int outSize) override;

private:
    bool Fails(Step step) const;
    Step failing_;
};

}  // namespace kestrel::forms
