// libFuzzer target: the first byte gives the length of an entry point that
// follows it; the rest is the table. Walks the table as the board source
// does, behind the entry point when it parses, reading every string field of
// every structure, and checks that the reader only ever hands out bytes of
// the table, always moves forward and keeps to the entry point's bounds.
#include <cstdint>
#include <algorithm>
#include <cstdlib>
#include <span>

#include "linux/smbios.h"

namespace {

bool Inside(std::span<const std::uint8_t> table, const void* p, std::size_t n)
{
    const auto* b = static_cast<const std::uint8_t*>(p);
    return n == 0 || (b >= table.data() && b + n <= table.data() + table.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace kestrel::smbios;
    if (size == 0) return 0;
    const std::size_t entryLength = std::min<std::size_t>(data[0] % 40, size - 1);
    const auto entry = ParseEntryPoint(std::span<const std::uint8_t>(data + 1, entryLength));
    const std::span<const std::uint8_t> table(data + 1 + entryLength, size - 1 - entryLength);

    Walk walk(table, entry);
    const std::uint8_t* last = nullptr;
    std::size_t structures = 0;
    for (;;) {
        const auto step = walk.Next();
        if (step.status != Step::Status::Structure) break;
        const auto& s = step.structure;
        if (last && s.formatted.data() <= last) std::abort();
        last = s.formatted.data();
        ++structures;
        if (entry && entry->structures && structures > *entry->structures) std::abort();
        if (entry && s.strings.data() + s.strings.size() + 2 > table.data() + entry->tableLength) std::abort();
        if (!Inside(table, s.formatted.data(), s.formatted.size()) || s.formatted.size() < kHeaderLength) std::abort();
        if (!Inside(table, s.strings.data(), s.strings.size())) std::abort();
        for (std::size_t field = 0; field <= s.formatted.size(); ++field) {
            const auto ref = StringAt(s, field);
            if (ref.status == StringRef::Status::Text &&
                (!Inside(s.strings, ref.text.data(), ref.text.size()) || ref.text.empty()))
                std::abort();
        }
    }
    return 0;
}
