// A reader of the SMBIOS structure table as the kernel exports it.
// Every length is checked before it is read; a malformed structure is
// reported, never read past.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace kestrel::smbios {

inline constexpr std::uint8_t kBaseboardType = 2;
inline constexpr std::uint8_t kEndOfTableType = 127;
inline constexpr std::size_t kHeaderLength = 4;
inline constexpr std::size_t kBaseboardVersionOffset = 0x06;

struct Structure {
    std::uint8_t type = 0;
    std::span<const std::uint8_t> formatted;  // header included
    std::vector<std::string_view> strings;    // string 1 is strings[0]
};

struct Step {
    enum class Status { Structure, End, Malformed };
    Status status = Status::Malformed;
    Structure structure;      // set when status is Structure
    std::size_t next = 0;     // offset of the following structure
};

// Reads the structure at `offset`. End at the end of the table or at the
// end-of-table structure; Malformed when the header, the formatted area or
// the string set does not fit in the table.
Step ReadStructure(std::span<const std::uint8_t> table, std::size_t offset);

struct StringRef {
    enum class Status { Null, Text, Missing };
    Status status = Status::Missing;
    std::string_view text;
};

// The string a byte of the formatted area numbers: 0 is no string (null),
// a number past the structure's strings is missing, as is a byte offset
// outside the formatted area.
StringRef StringAt(const Structure& structure, std::size_t fieldOffset);

}  // namespace kestrel::smbios
