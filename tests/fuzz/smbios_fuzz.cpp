// libFuzzer target: walks any byte string as an SMBIOS table, reading every
// string field of every structure, and checks that the reader only ever
// hands out bytes of the table and always moves forward.
#include <cstdint>
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
    const std::span<const std::uint8_t> table(data, size);
    std::size_t offset = 0;
    for (;;) {
        const auto step = ReadStructure(table, offset);
        if (step.status != Step::Status::Structure) break;
        const auto& s = step.structure;
        if (step.next <= offset || step.next > size) std::abort();
        if (!Inside(table, s.formatted.data(), s.formatted.size()) || s.formatted.size() < kHeaderLength) std::abort();
        for (std::size_t field = 0; field <= s.formatted.size(); ++field) {
            const auto ref = StringAt(s, field);
            if (ref.status == StringRef::Status::Text && !Inside(table, ref.text.data(), ref.text.size())) std::abort();
        }
        offset = step.next;
    }
    return 0;
}
