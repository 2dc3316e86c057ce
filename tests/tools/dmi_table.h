// Builds SMBIOS structure tables for the tests, the table tool and the
// benchmark.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kestrel::testing {

class DmiTable {
public:
    // A structure with the given formatted bytes after its 4-byte header and
    // the given strings; an empty string list closes with the double NUL.
    DmiTable& Structure(std::uint8_t type, const std::vector<std::uint8_t>& body,
                        const std::vector<std::string>& strings)
    {
        ++structures_;
        bytes_.push_back(type);
        bytes_.push_back(static_cast<std::uint8_t>(4 + body.size()));
        bytes_.push_back(static_cast<std::uint8_t>(handle_ & 0xFF));
        bytes_.push_back(static_cast<std::uint8_t>(handle_ >> 8));
        ++handle_;
        bytes_.insert(bytes_.end(), body.begin(), body.end());
        for (const auto& s : strings) {
            bytes_.insert(bytes_.end(), s.begin(), s.end());
            bytes_.push_back(0);
        }
        if (strings.empty()) bytes_.push_back(0);
        bytes_.push_back(0);
        return *this;
    }

    // A baseboard (type 2) whose Version is `version`, or string number 0
    // when there is none, with `padding` one-byte strings after its own.
    DmiTable& Baseboard(const std::optional<std::string>& version, std::size_t padding = 0)
    {
        std::vector<std::string> strings = {"Tarn Works", "TW-1"};
        std::uint8_t versionNumber = 0;
        if (version) {
            strings.push_back(*version);
            versionNumber = 3;
        }
        strings.push_back("SN0001");
        strings.insert(strings.end(), padding, "x");
        const auto serial = static_cast<std::uint8_t>(strings.size());
        // manufacturer, product, version, serial, asset tag, features,
        // location, chassis handle (2), board type, contained objects
        return Structure(2, {1, 2, versionNumber, serial, 0, 0x01, 0, 0x03, 0x00, 0x0A, 0}, strings);
    }

    // A baseboard whose string set begins with an empty string, which ends
    // it: the Version's number points past it, at `version`.
    DmiTable& BaseboardAfterEmptyString(const std::string& version)
    {
        return Structure(2, {0, 0, 2, 0, 0, 0x01, 0, 0x03, 0x00, 0x0A, 0}, {"", version});
    }

    DmiTable& Bios(const std::string& version = "1.00")
    {
        return Structure(0, {1, 2, 0x00, 0xF0, 3, 0x00, 0, 0, 0, 0, 0, 0, 0, 0}, {"Tarn Works", version, "01/01/2026"});
    }
    DmiTable& EndOfTable() { return Structure(127, {}, {}); }
    DmiTable& Raw(const std::vector<std::uint8_t>& bytes)
    {
        bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
        return *this;
    }

    const std::vector<std::uint8_t>& bytes() const { return bytes_; }

    std::uint16_t structures() const { return structures_; }

    // A 64-bit (SMBIOS 3.0) entry point for a table of this size (or of
    // `maxSize`), as the kernel exports it beside the table.
    std::vector<std::uint8_t> EntryPoint(std::optional<std::uint32_t> maxSize = std::nullopt) const
    {
        std::vector<std::uint8_t> ep = {'_', 'S', 'M', '3', '_', 0, 0x18, 3, 0, 0, 1, 0};
        Put(ep, maxSize.value_or(static_cast<std::uint32_t>(bytes_.size())), 4);
        Put(ep, 0, 8);  // table address: unused with the sysfs table
        Seal(ep, 5, 0, ep.size());
        return ep;
    }

    // A 32-bit (SMBIOS 2.x) entry point, "_SM_" with its "_DMI_" part, for
    // this table's size and structure count, or the ones given.
    std::vector<std::uint8_t> EntryPoint2(std::optional<std::uint16_t> count = std::nullopt,
                                          std::optional<std::uint16_t> length = std::nullopt) const
    {
        std::vector<std::uint8_t> ep = {'_', 'S', 'M', '_', 0, 0x1F, 2,   8,   0,   0,   0,
                                        0,   0,   0,   0,   0, '_',  'D', 'M', 'I', '_', 0};
        Put(ep, length.value_or(static_cast<std::uint16_t>(bytes_.size())), 2);
        Put(ep, 0, 4);  // table address
        Put(ep, count.value_or(structures_), 2);
        ep.push_back(0x28);  // BCD revision 2.8
        Seal(ep, 0x15, 0x10, 15);
        Seal(ep, 4, 0, ep.size());
        return ep;
    }

private:
    static void Put(std::vector<std::uint8_t>& out, std::uint64_t value, int bytes)
    {
        for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }
    // Sets the checksum byte at `at` so that `length` bytes from `from` add up to 0.
    static void Seal(std::vector<std::uint8_t>& ep, std::size_t at, std::size_t from, std::size_t length)
    {
        std::uint8_t sum = 0;
        for (std::size_t i = from; i < from + length; ++i) sum = static_cast<std::uint8_t>(sum + ep[i]);
        ep[at] = static_cast<std::uint8_t>(0x100 - sum);
    }

    std::vector<std::uint8_t> bytes_;
    std::uint16_t handle_ = 0;
    std::uint16_t structures_ = 0;
};

}  // namespace kestrel::testing
