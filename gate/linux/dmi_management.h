// Board instances from the kernel's copy of the SMBIOS structure table: one
// instance per baseboard structure, in table order.
#pragma once

#include <string>

#include "../ports.h"

namespace kestrel {

inline constexpr const char* kDmiTablePath = "/sys/firmware/dmi/tables/DMI";

class DmiManagement final : public Management {
public:
    explicit DmiManagement(std::string tablePath = kDmiTablePath) : tablePath_(std::move(tablePath)) {}

    // Reads the table for the local cimv2 namespace; a table that cannot be
    // read, or any other namespace, fails the bind.
    std::unique_ptr<ManagementService> Bind(std::u16string_view displayName) override;

private:
    std::string tablePath_;
};

}  // namespace kestrel
