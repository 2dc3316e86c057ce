#include "pe_imports.h"

#include <cstdint>

namespace kestrel::check {

namespace {

// Little-endian reads that fail past the end.
class Bytes {
public:
    explicit Bytes(std::span<const unsigned char> data) : data_(data) {}

    std::optional<std::uint32_t> U16(std::size_t at) const { return Read(at, 2); }
    std::optional<std::uint32_t> U32(std::size_t at) const { return Read(at, 4); }

    // A NUL-terminated name of printable ASCII, at most 255 characters.
    std::optional<std::string> Name(std::size_t at) const
    {
        std::string name;
        for (std::size_t i = at; i < data_.size() && name.size() < 256; ++i) {
            const unsigned char c = data_[i];
            if (c == 0) return name.empty() ? std::nullopt : std::optional<std::string>(name);
            if (c < 0x20 || c > 0x7E) return std::nullopt;
            name.push_back(static_cast<char>(c));
        }
        return std::nullopt;
    }

private:
    std::optional<std::uint32_t> Read(std::size_t at, std::size_t n) const
    {
        if (at > data_.size() || data_.size() - at < n) return std::nullopt;
        std::uint32_t value = 0;
        for (std::size_t i = n; i-- > 0;) value = (value << 8) | data_[at + i];
        return value;
    }

    std::span<const unsigned char> data_;
};

struct Section {
    std::uint32_t address, size, offset, rawSize;
};

}  // namespace

std::optional<std::vector<std::string>> ImportedDlls(std::span<const unsigned char> image)
{
    const Bytes bytes(image);
    if (bytes.U16(0) != 0x5A4D) return std::nullopt;  // "MZ"
    const auto pe = bytes.U32(0x3C);
    if (!pe || bytes.U32(*pe) != 0x00004550) return std::nullopt;  // "PE\0\0"
    const std::size_t fileHeader = std::size_t(*pe) + 4;
    const auto sectionCount = bytes.U16(fileHeader + 2);
    const auto optionalSize = bytes.U16(fileHeader + 16);
    const std::size_t optional = fileHeader + 20;
    const auto magic = bytes.U16(optional);
    if (!sectionCount || !optionalSize || !magic) return std::nullopt;
    // The data directories follow the fixed part: 96 bytes in PE32, 112 in
    // PE32+; the import directory is the second.
    std::size_t directories = 0;
    if (*magic == 0x10B) directories = optional + 96;
    else if (*magic == 0x20B) directories = optional + 112;
    else return std::nullopt;
    const auto directoryCount = bytes.U32(directories - 4);
    if (!directoryCount || *directoryCount < 2 || directories + 16 > optional + *optionalSize) return std::nullopt;
    const auto importAddress = bytes.U32(directories + 8);
    if (!importAddress) return std::nullopt;
    if (*importAddress == 0) return std::vector<std::string>{};

    std::vector<Section> sections;
    const std::size_t table = optional + *optionalSize;
    for (std::uint32_t i = 0; i < *sectionCount; ++i) {
        const std::size_t at = table + std::size_t(i) * 40;
        const auto size = bytes.U32(at + 8), address = bytes.U32(at + 12), rawSize = bytes.U32(at + 16),
                   offset = bytes.U32(at + 20);
        if (!size || !address || !rawSize || !offset) return std::nullopt;
        sections.push_back({*address, *size, *offset, *rawSize});
    }
    // A relative address to a file offset, through the section that holds it.
    const auto fileOffset = [&](std::uint32_t rva) -> std::optional<std::size_t> {
        for (const Section& s : sections) {
            const std::uint32_t extent = s.size > s.rawSize ? s.rawSize : s.size;
            if (rva >= s.address && rva - s.address < extent) return std::size_t(s.offset) + (rva - s.address);
        }
        return std::nullopt;
    };

    // Descriptors of 20 bytes, to the one whose fields are all zero; a real
    // image has a few dozen at most.
    std::vector<std::string> names;
    const auto first = fileOffset(*importAddress);
    if (!first) return std::nullopt;
    for (std::size_t at = *first;; at += 20) {
        if (names.size() > 4096) return std::nullopt;
        const auto lookup = bytes.U32(at), name = bytes.U32(at + 12), thunks = bytes.U32(at + 16);
        if (!lookup || !name || !thunks) return std::nullopt;
        if (*lookup == 0 && *name == 0 && *thunks == 0) break;
        const auto nameAt = fileOffset(*name);
        if (!nameAt) return std::nullopt;
        auto text = bytes.Name(*nameAt);
        if (!text) return std::nullopt;
        names.push_back(std::move(*text));
    }
    return names;
}

}  // namespace kestrel::check
