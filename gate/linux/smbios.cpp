#include "smbios.h"

namespace kestrel::smbios {

namespace {

// Splits a string set (the bytes between the formatted area and its closing
// double NUL) into its strings.
std::vector<std::string_view> SplitStrings(std::span<const std::uint8_t> area)
{
    std::vector<std::string_view> strings;
    if (area.empty()) return strings;
    const auto* chars = reinterpret_cast<const char*>(area.data());
    std::string_view rest(chars, area.size());
    for (;;) {
        const auto nul = rest.find('\0');
        strings.push_back(rest.substr(0, nul));
        if (nul == std::string_view::npos) break;
        rest.remove_prefix(nul + 1);
    }
    return strings;
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

    if (type == kEndOfTableType) {
        step.status = Step::Status::End;
        return step;
    }
    step.status = Step::Status::Structure;
    step.structure.type = type;
    step.structure.formatted = table.subspan(offset, length);
    step.structure.strings = SplitStrings(table.subspan(stringsStart, pair - stringsStart));
    step.next = pair + 2;
    return step;
}

StringRef StringAt(const Structure& structure, std::size_t fieldOffset)
{
    if (fieldOffset >= structure.formatted.size()) return {};
    const std::size_t number = structure.formatted[fieldOffset];
    if (number == 0) return {StringRef::Status::Null, {}};
    if (number > structure.strings.size()) return {};
    return {StringRef::Status::Text, structure.strings[number - 1]};
}

}  // namespace kestrel::smbios
