#include "message_shell.h"

#include <windows.h>

#include "late_bound.h"
#include "program_path.h"
#include "wide.h"

namespace kestrel {

namespace {

// The box, shown to the user of the active console session without waiting
// for an answer: WTSSendMessageW with bWait FALSE returns at once. Nothing is
// sent when no one is at the console (no active session).
bool SendToConsoleSession(std::wstring text, int style, std::wstring caption)
{
    const DWORD session = WTSGetActiveConsoleSessionId();
    if (session == 0xFFFFFFFF) return false;
    const auto send = LateBound(kWTSSendMessageW);
    if (!send) return false;
    // The lengths are in bytes, without the terminating null.
    const auto bytes = [](const std::wstring& s) { return DWORD(s.size()) * DWORD(sizeof(wchar_t)); };
    DWORD response = 0;
    return send(nullptr, session, caption.data(), bytes(caption), text.data(), bytes(text), DWORD(style), 0, &response,
                FALSE) != FALSE;
}

}  // namespace

bool MessageShell::ShowMessage(std::u16string_view text, int style, std::u16string_view caption)
{
    if (!BoxSeen(ThisBoxSeat())) return SendToConsoleSession(Wide(text), style, Wide(caption));
    return MessageBoxW(nullptr, Wide(text).c_str(), Wide(caption).c_str(), static_cast<UINT>(style)) != 0;
}

bool MessageShell::Launch(std::u16string_view fileName, int windowState)
{
    if (programDir_.empty()) return false;
    const std::u16string path = Utf16(InFolder(programDir_, Wide(fileName)));
    return StartElevatingIfRequired(starter_, path, windowState) == ProcessStarter::Result::Started;
}

}  // namespace kestrel
