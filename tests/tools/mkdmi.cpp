// Writes a crafted SMBIOS table as the kernel exports it:
//   mkdmi DIR [--repeat N] [--padding N] [--entry smbios3|smbios2|bad|none] [--count N] VERSION...
// makes DIR/DMI and DIR/smbios_entry_point with one baseboard structure per
// VERSION, all of it N times. A VERSION of "-" is a baseboard with no Version
// string; "^TEXT" is one whose string set starts with an empty string and
// whose Version number points past it at TEXT. --padding gives each board N
// more one-byte strings. --entry picks the entry point: SMBIOS 3 (the
// default), SMBIOS 2 (with --count as its structure count, or the true one),
// one with a wrong checksum, or none.
#include <cstdlib>
#include <cstring>
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
        std::cerr
            << "usage: mkdmi DIR [--repeat N] [--padding N] [--entry KIND] [--count N] [--bios VERSION] VERSION...\n";
        return 64;
    }
    const std::string dir = argv[1];
    long repeat = 1, padding = 0, count = -1;
    std::string entry = "smbios3", bios = "1.00";
    int first = 2;
    for (; first + 1 < argc && std::strncmp(argv[first], "--", 2) == 0; first += 2) {
        const std::string option = argv[first], value = argv[first + 1];
        if (option == "--repeat") repeat = std::strtol(value.c_str(), nullptr, 10);
        else if (option == "--padding") padding = std::strtol(value.c_str(), nullptr, 10);
        else if (option == "--count") count = std::strtol(value.c_str(), nullptr, 10);
        else if (option == "--entry") entry = value;
        else if (option == "--bios") bios = value;
        else {
            std::cerr << "mkdmi: unknown option " << option << "\n";
            return 64;
        }
    }
    kestrel::testing::DmiTable table;
    table.Bios(bios);
    for (long r = 0; r < repeat; ++r) {
        for (int i = first; i < argc; ++i) {
            const std::string version = argv[i];
            if (version == "-") table.Baseboard(std::nullopt, static_cast<std::size_t>(padding));
            else if (version.starts_with("^")) table.BaseboardAfterEmptyString(version.substr(1));
            else table.Baseboard(version, static_cast<std::size_t>(padding));
        }
    }
    table.EndOfTable();
    std::vector<std::uint8_t> ep;
    if (entry == "smbios2") ep = count < 0 ? table.EntryPoint2() : table.EntryPoint2(static_cast<std::uint16_t>(count));
    else if (entry == "smbios3" || entry == "bad") ep = table.EntryPoint();
    if (entry == "bad") ++ep[5];
    if (!Write(dir + "/DMI", table.bytes()) || (entry != "none" && !Write(dir + "/smbios_entry_point", ep))) {
        std::cerr << "mkdmi: cannot write to " << dir << "\n";
        return 1;
    }
    return 0;
}
