#include "box_reader.h"

#include "text.h"
#include "warning_icon.h"

namespace kestrel::check {

namespace {

constexpr DWORD kLayoutMs = 200;  // a new box is read once it has laid itself out

// A window's text, asked with a time limit: the debuggee may be stopped at a
// debug event this thread has not yet continued.
bool TextOf(HWND window, std::wstring& text)
{
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kAskTimeoutMs, &length)) return false;
    std::wstring buffer(length + 1, L'\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()),
                             SMTO_ABORTIFHUNG, kAskTimeoutMs, &copied))
        return false;
    buffer.resize(copied < buffer.size() ? copied : buffer.size() - 1);
    text = buffer;
    return true;
}

bool IsClass(HWND window, const wchar_t* name)
{
    wchar_t found[16] = {};
    return GetClassNameW(window, found, 16) && _wcsicmp(found, name) == 0;
}

struct BoxSearch {
    DWORD pid;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectBox(HWND window, LPARAM param)
{
    auto* search = reinterpret_cast<BoxSearch*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == search->pid && IsWindowVisible(window) && IsClass(window, L"#32770")) search->found.push_back(window);
    return TRUE;
}

// The box's visible buttons, their texts without the '&' of an access key,
// and which one to press: OK where there is one, else the first.
bool ReadButtons(HWND box, Box& read, int& press)
{
    read.buttons.clear();
    press = 0;
    int ok = 0;
    for (HWND c = GetWindow(box, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        if (!IsWindowVisible(c) || !IsClass(c, L"Button")) continue;
        std::wstring text;
        if (!TextOf(c, text)) return false;
        std::wstring shown;
        for (const wchar_t ch : text)
            if (ch != L'&') shown += ch;
        read.buttons.push_back(Utf8(shown));
        const int id = GetDlgCtrlID(c);
        if (id == IDOK) ++ok;
        if (!press || id == IDOK) press = id;
    }
    read.onlyOk = read.buttons.size() == 1 && ok == 1;
    return true;
}

}  // namespace

void BoxReader::Look(std::vector<Box>& boxes)
{
    BoxSearch search{pid_, {}};
    EnumWindows(CollectBox, reinterpret_cast<LPARAM>(&search));
    for (const HWND box : search.found) {
        bool done = false;
        for (const HWND d : done_) done = done || d == box;
        if (done) continue;
        std::size_t i = 0;
        while (i < pending_.size() && pending_[i].box != box) ++i;
        if (i == pending_.size()) {
            RaiseBox(box);
            pending_.push_back({box, GetTickCount(), false});
            continue;
        }
        if (GetTickCount() - pending_[i].since < kLayoutMs) continue;
        // Once only: a box read where no place was clear is read as it lies.
        if (!pending_[i].moved && MoveIconClear(box)) {
            pending_[i] = {box, GetTickCount(), true};
            continue;
        }
        std::wstring caption, text;
        Box read;
        int press = 0;
        const HWND label = GetDlgItem(box, 0xFFFF);
        if (!TextOf(box, caption) || (label && !TextOf(label, text)) || !ReadButtons(box, read, press))
            continue;  // asked again next time
        read.caption = Utf8(caption);
        read.text = Utf8(text);
        read.warning = ShowsWarningIcon(box);
        boxes.push_back(read);
        PostMessageW(box, WM_COMMAND, MAKEWPARAM(press ? press : IDOK, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(box, press ? press : IDOK)));
        done_.push_back(box);
        pending_.erase(pending_.begin() + std::ptrdiff_t(i));
    }
}

}  // namespace kestrel::check
