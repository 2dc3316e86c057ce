// The SMBIOS reader and the Linux board source on crafted tables, malformed
// ones included.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "linux/dmi_management.h"
#include "linux/smbios.h"
#include "probe.h"
#include "tools/dmi_table.h"

namespace kestrel {
namespace {

using testing::DmiTable;
using Bytes = std::vector<std::uint8_t>;

// Walks a table through the board source, as the probe does, and lists what
// each step gave: a version ("=text", "null", "fail") per board, then how the
// walk ended ("end" or "failed").
std::vector<std::string> Walk(const Bytes& table)
{
    const auto path = std::filesystem::temp_directory_path() /
                      ("kestrel-dmi-" + std::to_string(::getpid()));
    {
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(table.data()), static_cast<std::streamsize>(table.size()));
    }
    std::vector<std::string> seen;
    DmiManagement management(path.string());
    auto service = management.Bind(u"winmgmts:\\\\.\\root\\cimv2");
    auto walk = service->ExecQuery(kBoardQuery, kBoardQueryFlags)->Enumerate();
    for (;;) {
        auto step = walk->Next();
        if (step.status == BoardEnumeration::Status::End) {
            seen.push_back("end");
            break;
        }
        if (step.status == BoardEnumeration::Status::Failed) {
            seen.push_back("failed");
            break;
        }
        const auto read = step.board->ReadVersion();
        switch (read.status) {
        case VersionRead::Status::Failed: seen.push_back("fail"); break;
        case VersionRead::Status::Null: seen.push_back("null"); break;
        case VersionRead::Status::Text: seen.push_back("=" + std::string(read.text.begin(), read.text.end())); break;
        }
    }
    std::filesystem::remove(path);
    return seen;
}

using V = std::vector<std::string>;

// A baseboard with a chosen version string number and string set.
Bytes Board(std::uint8_t versionNumber, const std::vector<std::string>& strings)
{
    return DmiTable().Structure(2, {1, 2, versionNumber, 0}, strings).bytes();
}

struct TableCase {
    const char* name;
    Bytes table;
    V expected;
};

class DmiWalkTest : public ::testing::TestWithParam<TableCase> {};

TEST_P(DmiWalkTest, YieldsTheBoardsInTableOrder)
{
    EXPECT_EQ(Walk(GetParam().table), GetParam().expected);
}

Bytes Cat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

Bytes Cut(Bytes bytes, std::size_t drop)
{
    bytes.resize(bytes.size() - drop);
    return bytes;
}

INSTANTIATE_TEST_SUITE_P(
    Tables, DmiWalkTest,
    ::testing::Values(
        TableCase{"OneBoard", DmiTable().Bios().Baseboard("34B").EndOfTable().bytes(), V{"=34B", "end"}},
        TableCase{"TwoBoardsInOrder", DmiTable().Baseboard("34A").Bios().Baseboard("12B").bytes(),
                  V{"=34A", "=12B", "end"}},
        TableCase{"NoBoard", DmiTable().Bios().EndOfTable().bytes(), V{"end"}},
        TableCase{"EmptyTable", Bytes{}, V{"end"}},
        TableCase{"StringZeroIsNull", DmiTable().Baseboard(std::nullopt).bytes(), V{"null", "end"}},
        TableCase{"EmptyFirstString", Board(1, {"", "x"}), V{"=", "end"}},
        TableCase{"NumberPastStrings", Board(4, {"a", "b", "c"}), V{"fail", "end"}},
        TableCase{"NumberWithNoStrings", Board(1, {}), V{"fail", "end"}},
        TableCase{"TooShortForVersion", DmiTable().Structure(2, {1, 2}, {"a", "b"}).bytes(), V{"fail", "end"}},
        TableCase{"HighBytesOneForOne", Board(1, {"\xE9\xFF"}), V{"=\xE9\xFF", "end"}},
        TableCase{"StopsAtEndOfTable",
                  DmiTable().Baseboard("34").EndOfTable().Baseboard("12").bytes(), V{"=34", "end"}},
        TableCase{"TruncatedHeader", Cat({DmiTable().Baseboard("34").bytes(), {2, 15}}), V{"=34", "failed"}},
        TableCase{"FormattedAreaPastEnd", Cat({DmiTable().Baseboard("34").bytes(), {2, 40, 0, 0, 1, 2, 3}}),
                  V{"=34", "failed"}},
        TableCase{"ZeroLengthStructure", Cat({DmiTable().Baseboard("34").bytes(), {2, 0, 0, 0, 0, 0}}),
                  V{"=34", "failed"}},
        TableCase{"LengthBelowHeader", Cat({DmiTable().Baseboard("34").bytes(), {2, 3, 0, 0, 0, 0}}),
                  V{"=34", "failed"}},
        TableCase{"UnterminatedStrings", Cat({DmiTable().Baseboard("12").bytes(), Cut(Board(1, {"34"}), 1)}),
                  V{"=12", "failed"}},
        TableCase{"StringsCutOff", Cat({DmiTable().Baseboard("12").bytes(), Cut(Board(1, {"34"}), 3)}),
                  V{"=12", "failed"}},
        TableCase{"NoStringSetAtAll", Cut(Board(1, {}), 2), V{"failed"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DmiManagement, FailsToBindWithoutATable)
{
    DmiManagement management("/nonexistent/kestrel/DMI");
    EXPECT_EQ(management.Bind(u"winmgmts:\\\\.\\root\\cimv2"), nullptr);
}

TEST(DmiManagement, AnswersOnlyTheLocalNamespaceAndTheBoardQuery)
{
    DmiManagement management("/dev/null");
    EXPECT_EQ(management.Bind(u"winmgmts:\\\\.\\root\\default"), nullptr);
    EXPECT_EQ(management.Bind(u"winmgmts:\\\\other\\root\\cimv2"), nullptr);
    auto service = management.Bind(u"WINMGMTS:\\\\.\\ROOT\\CIMV2");
    ASSERT_NE(service, nullptr);
    EXPECT_EQ(service->ExecQuery(u"Select * from Win32_BIOS", kBoardQueryFlags), nullptr);
    EXPECT_NE(service->ExecQuery(u"select * from win32_baseboard", kBoardQueryFlags), nullptr);
}

TEST(Smbios, StringLookupStaysInsideTheFormattedArea)
{
    const auto table = DmiTable().Structure(2, {1, 2}, {"a", "b"}).bytes();
    const auto step = smbios::ReadStructure(table, 0);
    ASSERT_EQ(step.status, smbios::Step::Status::Structure);
    EXPECT_EQ(smbios::StringAt(step.structure, 4).text, "a");
    EXPECT_EQ(smbios::StringAt(step.structure, 6).status, smbios::StringRef::Status::Missing);
    EXPECT_EQ(smbios::StringAt(step.structure, 600).status, smbios::StringRef::Status::Missing);
    EXPECT_EQ(step.next, table.size());
}

}  // namespace
}  // namespace kestrel
