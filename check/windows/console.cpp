#include "console.h"

#include <windows.h>

#include "text.h"

namespace kestrel::check {

void Say(const std::string& line)
{
    const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    if (!out || out == INVALID_HANDLE_VALUE) return;
    DWORD mode = 0, written = 0;
    if (GetConsoleMode(out, &mode)) {
        const std::wstring wide = Wide(line) + L"\r\n";
        WriteConsoleW(out, wide.data(), DWORD(wide.size()), &written, nullptr);
    } else {
        const std::string bytes = line + "\r\n";
        WriteFile(out, bytes.data(), DWORD(bytes.size()), &written, nullptr);
    }
}

bool Ask(const std::string& question)
{
    Say(question);
    wchar_t answer[16] = {};
    DWORD read = 0;
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    if (!ReadConsoleW(input, answer, 15, &read, nullptr) || read == 0) return false;
    return answer[0] == L'y' || answer[0] == L'Y';
}

void KeepConsoleOpen()
{
    DWORD processes[2];
    DWORD mode = 0;
    if (GetConsoleProcessList(processes, 2) != 1 || !GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode)) return;
    Say("Press a key to close this window.");
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    FlushConsoleInputBuffer(input);
    INPUT_RECORD record;
    DWORD read = 0;
    while (ReadConsoleInputW(input, &record, 1, &read) && read == 1)
        if (record.EventType == KEY_EVENT && record.Event.KeyEvent.bKeyDown) break;
}

}  // namespace kestrel::check
