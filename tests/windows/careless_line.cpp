// Test builds of kestrel.exe only: the release check's controls, each a gate
// that reads its command line carelessly in one way, and is kestrel.exe in
// every other. The build renames the program's call of GetCommandLineW to
// CarelessCommandLine (a definition given to its compiler, nothing in its
// sources), which this file answers with the line as such a gate would read
// it. One fault each:
//  - CARELESS_NO_TARGET: /target: passed over;
//  - CARELESS_NO_TIMEOUT: /timeout: passed over;
//  - CARELESS_NO_TAIL: "--" and what follows never read;
//  - CARELESS_CHECK_FIRST: /check honoured only as the first argument;
//  - CARELESS_MISSPELT: a switch with a value that is none of kestrel's
//    passed over (/taget:, /timout:, /lg:).
#include <windows.h>

#undef GetCommandLineW
extern "C" __declspec(dllimport) LPWSTR WINAPI GetCommandLineW(void);

namespace {

constexpr int kLongest = 32768;
wchar_t gLine[kLongest];

bool Blank(wchar_t c) { return c == L' ' || c == L'\t'; }

// Whether the argument [from, to), its quotes left out, begins with `word`
// (a lower-case switch after its "/" or "-"), regardless of case; `whole`:
// is no more than it.
bool Names(const wchar_t* from, const wchar_t* to, const wchar_t* word, bool whole)
{
    while (from < to && *from == L'"') ++from;
    if (from == to || (*from != L'/' && *from != L'-')) return false;
    ++from;
    for (; *word; ++word, ++from) {
        while (from < to && *from == L'"') ++from;
        if (from == to) return false;
        const wchar_t c = *from >= L'A' && *from <= L'Z' ? wchar_t(*from - L'A' + L'a') : *from;
        if (c != *word) return false;
    }
    while (from < to && *from == L'"') ++from;
    return !whole || from == to;
}

// Whether the argument is one a careless gate passes over, `first` when it
// is the first after the program's name.
bool PassedOver(const wchar_t* from, const wchar_t* to, [[maybe_unused]] bool first)
{
#if defined(CARELESS_NO_TARGET)
    return Names(from, to, L"target:", false);
#elif defined(CARELESS_NO_TIMEOUT)
    return Names(from, to, L"timeout:", false);
#elif defined(CARELESS_CHECK_FIRST)
    return !first && Names(from, to, L"check", true);
#elif defined(CARELESS_MISSPELT)
    bool value = false;
    for (const wchar_t* at = from; at < to; ++at) value = value || *at == L':';
    return value && !Names(from, to, L"target:", false) && !Names(from, to, L"timeout:", false) &&
           !Names(from, to, L"from:", false) && !Names(from, to, L"mincharge:", false) &&
           !Names(from, to, L"log:", false);
#else
    static_cast<void>(from);
    static_cast<void>(to);
    return false;
#endif
}

LPWSTR WINAPI CarelessLine()
{
    static bool made = false;
    if (made) return gLine;
    made = true;
    const wchar_t* in = GetCommandLineW();
    int out = 0;
    bool program = true, first = true;
    while (*in && out < kLongest - 2) {
        while (Blank(*in)) ++in;
        if (!*in) break;
        const wchar_t* from = in;
        bool quoted = false;
        for (; *in && (quoted || !Blank(*in)); ++in)
            if (*in == L'"') quoted = !quoted;
        const bool tail = !program && Names(from, in, L"-", true);
#if defined(CARELESS_NO_TAIL)
        if (tail) break;
#endif
        // What follows "--" is the utility's: as it stands.
        if (tail) in = from + lstrlenW(from);
        if (!program && !tail && PassedOver(from, in, first)) {
            first = false;
            continue;
        }
        if (!program) first = false;
        program = false;
        if (out > 0) gLine[out++] = L' ';
        for (const wchar_t* at = from; at < in && out < kLongest - 1; ++at) gLine[out++] = *at;
    }
    gLine[out] = L'\0';
    return gLine;
}

}  // namespace

// The import slot the renamed call reads: the careless reader in place of
// the system's.
extern "C" __attribute__((used))
LPWSTR(WINAPI* const kCarelessSlot)(void) asm("__imp__CarelessCommandLine@0") = CarelessLine;
