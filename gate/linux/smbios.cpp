#include "smbios.h"

#include <algorithm>
#include <cstring>

namespace kestrel::smbios {

namespace {

bool ChecksumIsZero(std::span<const std::uint8_t> bytes)
{
    std::uint8_t sum = 0;
    for (const auto b : bytes) sum = static_cast<std::uint8_t>(sum + b);
    return sum == 0;
}

bool HasAnchor(std::span<const std::uint8_t> bytes, std::string_view anchor)
{
    return bytes.size() >= anchor.size() && std::memcmp(bytes.data(), anchor.data(), anchor.size()) == 0;
}

std::uint16_t Word(std::span<const std::uint8_t> bytes, std::size_t at)
{
    return static_cast<std::uint16_t>(bytes[at] | bytes[at + 1] << 8);
}

std::uint32_t Dword(std::span<const std::uint8_t> bytes, std::size_t at)
{
    return static_cast<std::uint32_t>(Word(bytes, at)) | static_cast<std::uint32_t>(Word(bytes, at + 2)) << 16;
}

// The 15-byte "_DMI_" structure: table length at 06h, structure count at 0Ch,
// its own checksum over all 15. Behind an "_SM_" anchor whose length byte
// says 30 the kernel exports only 14 of them; the outer checksum covers those.
std::optional<EntryPoint> ParseDmiPart(std::span<const std::uint8_t> part, bool mayBeCut)
{
    constexpr std::size_t kLength = 15;
    const bool whole = part.size() >= kLength;
    if (!HasAnchor(part, "_DMI_") || (!whole && !(mayBeCut && part.size() == kLength - 1)) ||
        (whole && !ChecksumIsZero(part.first(kLength))))
        return std::nullopt;
    // A count of 0 is no count, as the kernel and dmidecode read it.
    const std::uint16_t count = Word(part, 0x0C);
    return EntryPoint{EntryPoint::Kind::Smbios2, Word(part, 0x06),
                      count == 0 ? std::nullopt : std::optional<std::uint16_t>(count)};
}

}  // namespace

Step ReadStructure(std::span<const std::uint8_t> table, std::size_t offset)
{
    Step step;
    if (offset >= table.size()) {
        step.status = Step::Status::End;
        return step;
    }
    const std::size_t left = table.size() - offset;
    if (left < kHeaderLength) return step;
    const std::uint8_t type = table[offset];
    const std::size_t length = table[offset + 1];
    if (length < kHeaderLength || length > left) return step;

    // The string set ends at the first pair of NULs after the formatted area.
    const std::size_t stringsStart = offset + length;
    std::size_t pair = stringsStart;
    while (pair + 1 < table.size() && (table[pair] != 0 || table[pair + 1] != 0)) ++pair;
    if (pair + 1 >= table.size()) return step;

    step.status = Step::Status::Structure;
    step.structure.type = type;
    step.structure.formatted = table.subspan(offset, length);
    step.structure.strings = table.subspan(stringsStart, pair - stringsStart);
    step.next = pair + 2;
    return step;
}

StringRef StringAt(const Structure& structure, std::size_t fieldOffset)
{
    if (fieldOffset >= structure.formatted.size()) return {};
    std::size_t number = structure.formatted[fieldOffset];
    if (number == 0) return {StringRef::Status::Null, {}};

    const auto* chars = reinterpret_cast<const char*>(structure.strings.data());
    std::string_view rest(chars, structure.strings.size());
    for (;;) {
        // An empty string, or none left, ends the set.
        if (rest.empty() || rest.front() == '\0') return {};
        const auto nul = rest.find('\0');
        if (--number == 0) return {StringRef::Status::Text, rest.substr(0, nul)};
        if (nul == std::string_view::npos) return {};
        rest.remove_prefix(nul + 1);
    }
}

std::optional<EntryPoint> ParseEntryPoint(std::span<const std::uint8_t> bytes)
{
    if (HasAnchor(bytes, "_SM3_")) {
        // Length at 06h (24 bytes in 3.0), maximum table size at 0Ch.
        if (bytes.size() < 0x18) return std::nullopt;
        const std::size_t length = bytes[0x06];
        if (length < 0x18 || length > 0x20 || length > bytes.size() || !ChecksumIsZero(bytes.first(length)))
            return std::nullopt;
        return EntryPoint{EntryPoint::Kind::Smbios3, Dword(bytes, 0x0C), std::nullopt};
    }
    if (HasAnchor(bytes, "_SM_")) {
        // Length at 05h (31 bytes; 30 in tables that copied an old misprint),
        // then the "_DMI_" part at 10h.
        if (bytes.size() < 0x1E) return std::nullopt;
        const std::size_t length = bytes[0x05];
        if (length < 0x1E || length > 0x20 || length > bytes.size() || !ChecksumIsZero(bytes.first(length)))
            return std::nullopt;
        return ParseDmiPart(bytes.subspan(0x10), length == 0x1E);
    }
    return ParseDmiPart(bytes, false);
}

Walk::Walk(std::span<const std::uint8_t> table, const std::optional<EntryPoint>& entry) : table_(table)
{
    if (!entry) return;
    table_ = table.first(std::min<std::size_t>(table.size(), entry->tableLength));
    left_ = entry->structures;
    // Without a count (SMBIOS 3, or a 2.x count of 0) the end-of-table
    // structure ends the walk, as in the kernel's dmi_decode_table.
    stopAtEnd_ = entry->kind == EntryPoint::Kind::Smbios3 || !left_;
}

Step Walk::Next()
{
    Step step;
    step.status = Step::Status::End;
    if (done_ || (left_ && *left_ == 0)) return step;
    step = ReadStructure(table_, offset_);
    if (step.status == Step::Status::Structure && !(stopAtEnd_ && step.structure.type == kEndOfTableType)) {
        offset_ = step.next;
        if (left_) --*left_;
        return step;
    }
    done_ = true;
    if (step.status == Step::Status::Structure) step = Step{Step::Status::End, {}, 0};
    return step;
}

}  // namespace kestrel::smbios
