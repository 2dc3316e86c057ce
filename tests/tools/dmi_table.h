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
    // when there is none.
    DmiTable& Baseboard(const std::optional<std::string>& version)
    {
        std::vector<std::string> strings = {"Tarn Works", "TW-1"};
        std::uint8_t versionNumber = 0;
        if (version) {
            strings.push_back(*version);
            versionNumber = 3;
        }
        strings.push_back("SN0001");
        const auto serial = static_cast<std::uint8_t>(strings.size());
        // manufacturer, product, version, serial, asset tag, features,
        // location, chassis handle (2), board type, contained objects
        return Structure(2, {1, 2, versionNumber, serial, 0, 0x01, 0, 0x03, 0x00, 0x0A, 0}, strings);
    }

    DmiTable& Bios() { return Structure(0, {1, 2, 0x00, 0xF0, 3, 0x00, 0, 0, 0, 0, 0, 0, 0, 0}, {"Tarn Works", "1.00", "01/01/2026"}); }
    DmiTable& EndOfTable() { return Structure(127, {}, {}); }
    DmiTable& Raw(const std::vector<std::uint8_t>& bytes)
    {
        bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
        return *this;
    }

    const std::vector<std::uint8_t>& bytes() const { return bytes_; }

    // A 64-bit (SMBIOS 3.0) entry point for a table of this size, as the
    // kernel exports it beside the table.
    std::vector<std::uint8_t> EntryPoint() const
    {
        std::vector<std::uint8_t> ep = {'_', 'S', 'M', '3', '_', 0, 0x18, 3, 0, 0, 1, 0};
        const auto size = static_cast<std::uint32_t>(bytes_.size());
        for (int i = 0; i < 4; ++i) ep.push_back(static_cast<std::uint8_t>(size >> (8 * i)));
        for (int i = 0; i < 8; ++i) ep.push_back(0);  // table address: unused with the sysfs table
        std::uint8_t sum = 0;
        for (const auto b : ep) sum = static_cast<std::uint8_t>(sum + b);
        ep[5] = static_cast<std::uint8_t>(0x100 - sum);
        return ep;
    }

private:
    std::vector<std::uint8_t> bytes_;
    std::uint16_t handle_ = 0;
};

}  // namespace kestrel::testing
