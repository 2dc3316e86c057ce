// A reader of the SMBIOS structure table as the kernel exports it.
// Every length is checked before it is read; a malformed structure is
// reported, never read past. Nothing here allocates.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace kestrel::smbios {

inline constexpr std::uint8_t kBiosType = 0;
inline constexpr std::uint8_t kBaseboardType = 2;
inline constexpr std::uint8_t kEndOfTableType = 127;
inline constexpr std::size_t kHeaderLength = 4;
inline constexpr std::size_t kBiosVersionOffset = 0x05;
inline constexpr std::size_t kBaseboardVersionOffset = 0x06;

struct Structure {
    std::uint8_t type = 0;
    std::span<const std::uint8_t> formatted;  // header included
    std::span<const std::uint8_t> strings;    // the string set, without its closing double NUL
};

struct Step {
    enum class Status { Structure, End, Malformed };
    Status status = Status::Malformed;
    Structure structure;   // set when status is Structure
    std::size_t next = 0;  // offset of the following structure
};

// Reads the structure at `offset`: End at the end of the table; Malformed
// when the header, the formatted area or the string set does not fit in it. The end-of-table structure is handed out like any other; whether it
// ends the walk is the walk's decision (see Walk).
Step ReadStructure(std::span<const std::uint8_t> table, std::size_t offset);

struct StringRef {
    enum class Status { Null, Text, Missing };
    Status status = Status::Missing;
    std::string_view text;
};

// The string a byte of the formatted area numbers, found by walking the set as
// the kernel and dmidecode do: 0 is no string (null); a number past the last
// string, or past an empty string (which ends the set), is missing, as is a
// byte offset outside the formatted area.
StringRef StringAt(const Structure& structure, std::size_t fieldOffset);

// What the entry point says about the table behind it.
struct EntryPoint {
    enum class Kind { Smbios2, Smbios3 };
    Kind kind = Kind::Smbios3;
    std::uint32_t tableLength = 0;            // exact (2.x) or maximum (3.x) size
    std::optional<std::uint16_t> structures;  // the structure count of a 2.x table; none when 0
};

// Parses an SMBIOS 2.x ("_SM_" with its "_DMI_" part, or a legacy "_DMI_"
// alone) or SMBIOS 3.x ("_SM3_") entry point; nothing when the anchor, the
// length or a checksum is wrong.
std::optional<EntryPoint> ParseEntryPoint(std::span<const std::uint8_t> bytes);

// A walk over the structures, bounded as the kernel bounds it: a 2.x entry
// point gives the table's length and its structure count (and the end-of-table
// structure is counted, not trusted to end it; a count of 0 is no count, and
// then the end-of-table structure ends the walk); a 3.x entry point gives a
// maximum size, and the end-of-table structure ends the walk. Without an entry
// point the whole table is walked up to the end-of-table structure.
class Walk {
public:
    explicit Walk(std::span<const std::uint8_t> table, const std::optional<EntryPoint>& entry = std::nullopt);

    // The next structure, End, or Malformed (after which the walk stays ended).
    Step Next();

private:
    std::span<const std::uint8_t> table_;
    std::optional<std::uint16_t> left_;  // structures still to read, with a count
    bool stopAtEnd_ = true;
    std::size_t offset_ = 0;
    bool done_ = false;
};

}  // namespace kestrel::smbios
