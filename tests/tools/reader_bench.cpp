// Times the SMBIOS reader over tables of 1, 100 and 10,000 baseboard
// structures: the whole walk, each Version resolved, as the board source does.
#include <chrono>
#include <cstdio>

#include "dmi_table.h"
#include "linux/smbios.h"

namespace {

std::size_t CountVersions(const std::vector<std::uint8_t>& table)
{
    using namespace kestrel::smbios;
    std::size_t found = 0;
    Walk walk(table);
    for (;;) {
        const auto step = walk.Next();
        if (step.status != Step::Status::Structure) break;
        if (step.structure.type == kBaseboardType &&
            StringAt(step.structure, kBaseboardVersionOffset).status == StringRef::Status::Text)
            ++found;
    }
    return found;
}

}  // namespace

int main()
{
    std::printf("%10s %12s %14s %16s\n", "boards", "table bytes", "ns per walk", "ns per board");
    for (const int boards : {1, 100, 10000}) {
        kestrel::testing::DmiTable table;
        for (int i = 0; i < boards; ++i) table.Baseboard(i % 2 ? "34B" : "12A");
        table.EndOfTable();
        const auto& bytes = table.bytes();

        using Clock = std::chrono::steady_clock;
        std::size_t runs = 0, sink = 0;
        const auto start = Clock::now();
        auto elapsed = Clock::duration::zero();
        while (elapsed < std::chrono::milliseconds(500)) {
            sink += CountVersions(bytes);
            ++runs;
            elapsed = Clock::now() - start;
        }
        if (sink != runs * static_cast<std::size_t>(boards)) return 1;
        const double ns = std::chrono::duration<double, std::nano>(elapsed).count() / double(runs);
        std::printf("%10d %12zu %14.0f %16.1f\n", boards, bytes.size(), ns, ns / boards);
    }
    return 0;
}
