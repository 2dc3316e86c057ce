// The SMBIOS reader and the Linux board source on crafted tables, malformed
// ones included.
#include <gtest/gtest.h>
#include <unistd.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>

#include "linux/dmi_management.h"
#include "linux/smbios.h"
#include "probe.h"
#include "tools/dmi_table.h"

namespace kestrel {
namespace {

using testing::DmiTable;
using Bytes = std::vector<std::uint8_t>;

// A folder laid out as the kernel's dmi/tables, removed with the object.
class TablesDir {
public:
    TablesDir() : path_(std::filesystem::temp_directory_path() / ("kestrel-dmi-" + std::to_string(::getpid())))
    {
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~TablesDir() { std::filesystem::remove_all(path_); }

    void Write(const char* name, const Bytes& bytes) const
    {
        std::ofstream out(path_ / name, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    std::filesystem::path operator/(const char* name) const { return path_ / name; }
    const char* c_str() const { return path_.c_str(); }
    std::unique_ptr<ManagementService> Bind() const
    {
        return DmiManagement(path_.c_str()).Bind(u"winmgmts:\\\\.\\root\\cimv2");
    }

private:
    std::filesystem::path path_;
};

// Walks a table (behind an entry point, when one is given) through the board
// source, as the probe does, and lists what each step gave: a version
// ("=text", "null", "fail") per board, then how the walk ended ("end" or
// "failed"), or "unbound" when the bind failed.
std::vector<std::string> Walk(const Bytes& table, const std::optional<Bytes>& entryPoint = std::nullopt)
{
    TablesDir dir;
    dir.Write("DMI", table);
    if (entryPoint) dir.Write("smbios_entry_point", *entryPoint);
    std::vector<std::string> seen;
    auto service = dir.Bind();
    if (!service) return {"unbound"};
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
    std::optional<Bytes> entryPoint = std::nullopt;
};

class DmiWalkTest : public ::testing::TestWithParam<TableCase> {};

TEST_P(DmiWalkTest, YieldsTheBoardsInTableOrder)
{
    EXPECT_EQ(Walk(GetParam().table, GetParam().entryPoint), GetParam().expected);
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

// A table of cases, laid out by hand.
// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Tables, DmiWalkTest,
    ::testing::Values(
        TableCase{"OneBoard", DmiTable().Bios().Baseboard("34B").EndOfTable().bytes(), V{"=34B", "end"}},
        TableCase{"TwoBoardsInOrder", DmiTable().Baseboard("34A").Bios().Baseboard("12B").bytes(),
                  V{"=34A", "=12B", "end"}},
        TableCase{"NoBoard", DmiTable().Bios().EndOfTable().bytes(), V{"end"}},
        TableCase{"EmptyTable", Bytes{}, V{"end"}},
        TableCase{"StringZeroIsNull", DmiTable().Baseboard(std::nullopt).bytes(), V{"null", "end"}},
        // An empty string ends the set: nothing after it can be numbered.
        TableCase{"EmptyFirstStringIsMissing", Board(1, {"", "x"}), V{"fail", "end"}},
        TableCase{"NothingPastAnEmptyString", Board(2, {"", "34"}), V{"fail", "end"}},
        TableCase{"LastOfSeveralStrings", Board(4, {"a", "b", "c", "34"}), V{"=34", "end"}},
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
        TableCase{"NoStringSetAtAll", Cut(Board(1, {}), 2), V{"failed"}},
        // Bounded by an SMBIOS 2.x entry point: the structure count, then the
        // table length; the end-of-table structure is counted, not trusted.
        [] {
            const auto t = DmiTable().Baseboard("12").Baseboard("34");
            return TableCase{"CountEndsTheWalk", t.bytes(), V{"=12", "end"}, t.EntryPoint2(1)};
        }(),
        [] {
            const auto t = DmiTable().Baseboard("12").EndOfTable().Baseboard("34");
            return TableCase{"CountReachesPastEndOfTable", t.bytes(), V{"=12", "=34", "end"}, t.EntryPoint2()};
        }(),
        [] {
            // A count of 0 is no count: the length bounds the walk and the
            // end-of-table structure ends it.
            const auto t = DmiTable().Baseboard("34").EndOfTable().Baseboard("12");
            return TableCase{"CountZeroIsNoCount", t.bytes(), V{"=34", "end"}, t.EntryPoint2(0)};
        }(),
        [] {
            const auto t = DmiTable().Baseboard("12").Baseboard("34");
            const auto firstAndABit = static_cast<std::uint16_t>(DmiTable().Baseboard("12").bytes().size() + 10);
            return TableCase{"LengthCutsTheTable", t.bytes(), V{"=12", "failed"}, t.EntryPoint2(2, firstAndABit)};
        }(),
        [] {
            // Length 30, as some firmware has it: the kernel exports 30 bytes,
            // the "_DMI_" part without its last byte.
            const auto t = DmiTable().Baseboard("12").Baseboard("34");
            auto ep = t.EntryPoint2(1);
            ep.pop_back();
            ep[5] = 0x1E;
            ep[4] = 0;
            std::uint8_t sum = 0;
            for (const auto b : ep) sum = static_cast<std::uint8_t>(sum + b);
            ep[4] = static_cast<std::uint8_t>(0x100 - sum);
            return TableCase{"EntryPointOfLength30", t.bytes(), V{"=12", "end"}, ep};
        }(),
        [] {
            const auto t = DmiTable().Baseboard("12").Baseboard("34");
            const auto ep = t.EntryPoint2(1);
            return TableCase{"LegacyEntryPoint", t.bytes(), V{"=12", "end"}, Bytes(ep.begin() + 16, ep.end())};
        }(),
        // Bounded by an SMBIOS 3 entry point: a maximum size, and the
        // end-of-table structure.
        TableCase{"MaximumSizeEndsTheWalk", DmiTable().Baseboard("12").Baseboard("34").bytes(), V{"=12", "end"},
                  DmiTable().EntryPoint(static_cast<std::uint32_t>(DmiTable().Baseboard("12").bytes().size()))},
        TableCase{"Smbios3StopsAtEndOfTable", DmiTable().Baseboard("12").EndOfTable().Baseboard("34").bytes(),
                  V{"=12", "end"}, DmiTable().EntryPoint(4096)},
        // An entry point that is there but malformed fails the bind.
        TableCase{"EntryPointChecksumWrong", DmiTable().Baseboard("34").bytes(), V{"unbound"},
                  [] { auto ep = DmiTable().EntryPoint(); ++ep[5]; return ep; }()},
        TableCase{"EntryPointDmiPartWrong", DmiTable().Baseboard("34").bytes(), V{"unbound"},
                  [] { auto ep = DmiTable().EntryPoint2(); ep[0x16] ^= 1; ep[4] ^= 1; return ep; }()},
        TableCase{"EntryPointCutShort", DmiTable().Baseboard("34").bytes(), V{"unbound"},
                  Cut(DmiTable().EntryPoint(), 4)},
        TableCase{"EntryPointUnknownAnchor", DmiTable().Baseboard("34").bytes(), V{"unbound"},
                  [] { auto ep = DmiTable().EntryPoint(); ep[3] = '4'; --ep[5]; return ep; }()},
        TableCase{"EntryPointEmpty", DmiTable().Baseboard("34").bytes(), V{"unbound"}, Bytes{}}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

// What is at the table's path decides whether the bind works: only a regular
// file of a sane size that reads to its end.
TEST(DmiManagement, BindsOnlyARegularReadableTable)
{
    const auto good = DmiTable().Baseboard("34").bytes();
    struct Case {
        const char* name;
        std::function<void(const TablesDir&)> make;
        bool binds;
    };
    const std::vector<Case> cases = {
        {"regular file", [&](const TablesDir& d) { d.Write("DMI", good); }, true},
        {"symbolic link to a regular file",
         [&](const TablesDir& d) {
             d.Write("table", good);
             std::filesystem::create_symlink(d / "table", d / "DMI");
         },
         true},
        {"nothing", [](const TablesDir&) {}, false},
        {"directory", [](const TablesDir& d) { std::filesystem::create_directory(d / "DMI"); }, false},
        {"FIFO", [](const TablesDir& d) { ASSERT_EQ(::mkfifo((d / "DMI").c_str(), 0600), 0); }, false},
        {"character device", [](const TablesDir& d) { std::filesystem::create_symlink("/dev/zero", d / "DMI"); },
         false},
        {"regular file whose read fails (EIO)",
         [](const TablesDir& d) { std::filesystem::create_symlink("/proc/self/mem", d / "DMI"); }, false},
        {"more than the limit",
         [&](const TablesDir& d) {
             d.Write("DMI", good);
             std::filesystem::resize_file(d / "DMI", kMaxTableBytes + 1);
         },
         false},
        {"entry point that is a directory",
         [&](const TablesDir& d) {
             d.Write("DMI", good);
             std::filesystem::create_directory(d / "smbios_entry_point");
         },
         false},
        {"dangling entry point link",
         [&](const TablesDir& d) {
             d.Write("DMI", good);
             std::filesystem::create_symlink(d / "gone", d / "smbios_entry_point");
         },
         false},
    };
    for (const auto& c : cases) {
        TablesDir dir;
        c.make(dir);
        EXPECT_EQ(dir.Bind() != nullptr, c.binds) << c.name;
    }
}

TEST(DmiManagement, ATableAtTheLimitIsRead)
{
    TablesDir dir;
    dir.Write("DMI", DmiTable().Baseboard("34").bytes());
    std::filesystem::resize_file(dir / "DMI", kMaxTableBytes);  // NUL padding after the board
    EXPECT_NE(dir.Bind(), nullptr);
}

TEST(DmiManagement, AnswersOnlyTheLocalNamespaceAndItsTwoQueries)
{
    TablesDir dir;
    dir.Write("DMI", {});
    DmiManagement management(dir.c_str());
    EXPECT_EQ(management.Bind(u"winmgmts:\\\\.\\root\\default"), nullptr);
    EXPECT_EQ(management.Bind(u"winmgmts:\\\\other\\root\\cimv2"), nullptr);
    auto service = management.Bind(u"WINMGMTS:\\\\.\\ROOT\\CIMV2");
    ASSERT_NE(service, nullptr);
    EXPECT_EQ(service->ExecQuery(u"Select * from Win32_Processor", kBoardQueryFlags), nullptr);
    EXPECT_NE(service->ExecQuery(u"select * from win32_baseboard", kBoardQueryFlags), nullptr);
    EXPECT_NE(service->ExecQuery(u"SELECT * FROM WIN32_BIOS", kBoardQueryFlags), nullptr);
}

// The firmware's version is its BIOS structure's, wherever that lies.
TEST(DmiManagement, ReadsTheFirmwaresVersionFromItsOwnStructure)
{
    TablesDir dir;
    dir.Write("DMI", DmiTable().Baseboard("34B").Bios("R0XET57W").EndOfTable().bytes());
    DmiManagement management(dir.c_str());
    const BoardReport bios = ReadBios(management), board = ReadBoard(management);
    EXPECT_EQ(bios.version.text, u"R0XET57W");
    EXPECT_EQ(board.version.text, u"34B");
    dir.Write("DMI", DmiTable().Baseboard("34B").EndOfTable().bytes());
    EXPECT_EQ(ReadBios(management).failedAt, ProbeStep::NoBoard);
    // One firmware a machine: a table with two is believed in neither.
    dir.Write("DMI", DmiTable().Bios("R0XET57W").Bios("R0XET60W").Baseboard("34B").EndOfTable().bytes());
    EXPECT_EQ(ReadBios(management).failedAt, ProbeStep::Ambiguous);
}

// The objects of one bind share the table: each may outlive the others.
TEST(DmiManagement, ABoardOutlivesTheObjectsItCameFrom)
{
    TablesDir dir;
    dir.Write("DMI", DmiTable().Baseboard("34B").bytes());
    std::unique_ptr<BoardObject> board;
    {
        auto walk = dir.Bind()->ExecQuery(kBoardQuery, kBoardQueryFlags)->Enumerate();
        board = walk->Next().board;
    }
    ASSERT_NE(board, nullptr);
    EXPECT_EQ(board->ReadVersion().text, u"34B");
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
