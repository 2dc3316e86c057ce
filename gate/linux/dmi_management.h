// Board instances from the kernel's copy of the SMBIOS structure table: one
// instance per baseboard structure, in table order.
#pragma once

#include <cstddef>

#include "../ports.h"

namespace kestrel {

// Where the kernel exports the table ("DMI") and its entry point
// ("smbios_entry_point").
inline constexpr const char* kDmiTablesDir = "/sys/firmware/dmi/tables";

// The largest table read. An SMBIOS 2.x table is at most 64 KiB, and the
// 3.x tables that firmware builds are a few KiB; anything past 16 MiB is not
// a table but a hostile or broken file.
inline constexpr std::size_t kMaxTableBytes = std::size_t{16} << 20;

class DmiManagement final : public Management {
public:
    // `tablesDir` must outlive the object.
    explicit DmiManagement(const char* tablesDir = kDmiTablesDir) : tablesDir_(tablesDir) {}

    // Reads the table for the local cimv2 namespace. Any other namespace, a
    // table that is not a regular file of at most kMaxTableBytes or cannot be
    // read, and an entry point that is there but unreadable or malformed fail
    // the bind. Without an entry point, the whole table is walked.
    std::unique_ptr<ManagementService> Bind(std::u16string_view displayName) override;

private:
    const char* tablesDir_;
};

}  // namespace kestrel
