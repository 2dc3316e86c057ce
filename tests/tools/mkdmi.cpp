// Writes a crafted SMBIOS table as the kernel exports it:
//   mkdmi DIR [--repeat N] VERSION...
// makes DIR/DMI and DIR/smbios_entry_point with one baseboard structure per
// VERSION ("-" for a baseboard with no Version string), all of it N times.
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>

#include "dmi_table.h"

namespace {

bool Write(const std::string& path, const std::vector<std::uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return bool(out);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::cerr << "usage: mkdmi DIR [--repeat N] VERSION...\n";
        return 64;
    }
    const std::string dir = argv[1];
    int first = 2;
    long repeat = 1;
    if (argc > 3 && std::string(argv[2]) == "--repeat") {
        repeat = std::strtol(argv[3], nullptr, 10);
        first = 4;
    }
    kestrel::testing::DmiTable table;
    table.Bios();
    for (long r = 0; r < repeat; ++r) {
        for (int i = first; i < argc; ++i) {
            const std::string version = argv[i];
            if (version == "-")
                table.Baseboard(std::nullopt);
            else
                table.Baseboard(version);
        }
    }
    table.EndOfTable();
    if (!Write(dir + "/DMI", table.bytes()) || !Write(dir + "/smbios_entry_point", table.EntryPoint())) {
        std::cerr << "mkdmi: cannot write to " << dir << "\n";
        return 1;
    }
    return 0;
}
