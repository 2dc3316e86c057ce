// The program's own name at the start of a Windows command line, in each of
// its spellings, and a log file's name that no Windows file can have.
#include <gtest/gtest.h>

#include "command_line.h"

namespace kestrel {
namespace {

using Kind = WindowsInvocation::Kind;

std::string Narrow(std::u16string_view text) { return std::string(text.begin(), text.end()); }

TEST(CommandLine, SkipsTheProgramInEachSpelling)
{
    const Spellings program = ProgramSpellings(u"C:\\A B\\k 2\\k.exe", u"C:\\AB~1\\K2~1\\k.exe");
    const Spellings share = ProgramSpellings(u"\\\\?\\UNC\\s\\t\\k 2\\k.exe", u"");
    const Spellings tool = ProgramSpellings(u"C:\\x\\k.exe", u"");
    const struct {
        const Spellings& spellings;
        std::u16string_view line, name;
        Kind kind;
    } cases[] = {
        // Started as CreateProcessW(path, NULL): the path alone, unquoted.
        {program, u"C:\\A B\\k 2\\k.exe", u"C:\\A B\\k 2\\k.exe", Kind::Plain},
        {program, u"C:\\A B\\k 2\\k /quiet -- /s", u"C:\\A B\\k 2\\k", Kind::Fleet},
        {program, u"C:\\AB~1\\K2~1\\k.exe\t/wait", u"C:\\AB~1\\K2~1\\k.exe", Kind::Fleet},
        {program, u"c:/a b/K 2/K.EXE /quiet", u"c:/a b/K 2/K.EXE", Kind::Fleet},
        {program, u"\\\\?\\C:\\A B\\k 2\\k.exe /quiet", u"\\\\?\\C:\\A B\\k 2\\k.exe", Kind::Fleet},
        {share, u"\\\\s\\t\\k 2\\k.exe /quiet", u"\\\\s\\t\\k 2\\k.exe", Kind::Fleet},
        // Through "." and "..", the device prefix, a dot at the end: each the
        // same file, even where a folder's name begins as the program's.
        {program, u"C:\\A B\\k 2\\.\\k.exe", u"C:\\A B\\k 2\\.\\k.exe", Kind::Plain},
        {program, u"C:\\A B\\..\\A B\\k 2\\k.exe", u"C:\\A B\\..\\A B\\k 2\\k.exe", Kind::Plain},
        {program, u"\\\\.\\C:\\A B\\k 2\\k.exe /wait", u"\\\\.\\C:\\A B\\k 2\\k.exe", Kind::Fleet},
        {program, u"C:\\A B\\k 2\\k.exe.", u"C:\\A B\\k 2\\k.exe.", Kind::Plain},
        // Relative to one of its folders: the longest such part ("k" is one).
        {program, u"k /quiet", u"k", Kind::Fleet},
        {program, u"k 2\\k.exe /quiet", u"k 2\\k.exe", Kind::Fleet},
        // By another road (a mapped drive), named again in the arguments.
        {program, u"..\\D E\\k.exe -- ..\\D E\\k.exe", u"..\\D E\\k.exe", Kind::Fleet},
        {program, u"C:\\A B\\k 2\\k.exe -- C:\\A B\\k 2\\k.exe", u"C:\\A B\\k 2\\k.exe", Kind::Fleet},
        // Quoted as before; a spelling running on into a longer word; unknown.
        {program, u"\"C:\\A B\\k 2\\k.exe\" /quiet", u"\"C:\\A B\\k 2\\k.exe\"", Kind::Fleet},
        {tool, u"C:\\x\\k.exe.old /quiet", u"C:\\x\\k.exe.old", Kind::Fleet},
        {program, u"x.exe /quiet", u"x.exe", Kind::Fleet},
        // A name that is not the program's, and switches that name it later:
        // never the plain run.
        {program, u"setup /quiet D:\\k.exe", u"setup", Kind::Error},
        {program, u"setup -- ..\\k.exe", u"setup", Kind::Fleet},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Narrow(c.line));
        EXPECT_EQ(c.line.substr(0, SkipProgramName(c.line, c.spellings)), c.name);
        EXPECT_EQ(ParseWindowsCommandLine(c.line, c.spellings).kind, c.kind);
    }
}

TEST(CommandLine, SpellsTheProgramWithAndWithoutItsExtension)
{
    EXPECT_EQ(ProgramSpellings(u"C:\\A B\\k.EXE", u"C:\\AB~1\\k.EXE"),
              (Spellings{u"C:\\A B\\k.EXE", u"C:\\A B\\k", u"C:\\AB~1\\k.EXE", u"C:\\AB~1\\k"}));
    EXPECT_EQ(ProgramSpellings(u"C:\\x\\k.exe", u"C:\\x\\k.exe"), (Spellings{u"C:\\x\\k.exe", u"C:\\x\\k"}));
    EXPECT_EQ(ProgramSpellings(u"C:\\x\\k.com", u""), (Spellings{u"C:\\x\\k.com"}));
}

TEST(CommandLine, AQuoteInTheLogsNameIsAUsageErrorOnWindowsOnly)
{
    const struct {
        std::u16string_view line;
        Kind kind;
        std::u16string_view log, error;
    } cases[] = {
        // The backslash keeps the quote, and the rest of the line with it.
        {u"k /quiet \"/log:C:\\Logs\\\" -- /s /f", Kind::Error, u"", u"/log:C:\\Logs\" -- /s /f"},
        {u"k /log:a.log /log:b\\\"", Kind::Error, u"a.log", u"/log:b\""},
        {u"k \"/log:a\\\"b\" /?", Kind::Help, u"", u"/log:a\"b"},
        {u"k \"/log:C:\\Logs\\\\\" -- /s", Kind::Fleet, u"C:\\Logs\\", u""},  // "\\" before a quote is one
    };
    for (const auto& c : cases) {
        const auto got = ParseWindowsCommandLine(c.line);
        EXPECT_EQ(got.kind, c.kind) << Narrow(c.line);
        EXPECT_EQ(got.log, c.log) << Narrow(c.line);
        EXPECT_EQ(got.error, c.error) << Narrow(c.line);
    }
    const std::string_view linux[] = {"--log=a\"b"};
    EXPECT_EQ(ParseLinuxArguments(linux).log, "a\"b");
}

TEST(CommandLine, ATimeLimitIsWholeMinutesUpToAWeekForARunThatWaits)
{
    const struct {
        std::u16string_view line;
        Kind kind;
        unsigned minutes;
        std::u16string_view error;
    } cases[] = {
        {u"k /wait /timeout:90", Kind::Fleet, 90, u""},
        {u"k -TIMEOUT:1 /quiet /wait", Kind::Fleet, 1, u""},
        {u"k /wait /timeout:10080", Kind::Fleet, 10080, u""},
        {u"k /wait /timeout:10081", Kind::Error, 0, u"/timeout:10081"},
        {u"k /wait /timeout:0", Kind::Error, 0, u"/timeout:0"},
        {u"k /wait /timeout:", Kind::Error, 0, u"/timeout:"},
        {u"k /wait /timeout:1h", Kind::Error, 0, u"/timeout:1h"},
        {u"k /wait /timeout:-5", Kind::Error, 0, u"/timeout:-5"},
        {u"k /wait /timeout:99999999999", Kind::Error, 0, u"/timeout:99999999999"},
        {u"k /wait /timeout:5 /timeout:6", Kind::Error, 5, u"/timeout:6"},
        {u"k /timeout:5", Kind::Error, 5, u"/timeout:5"},  // no wait to limit
        {u"k /timeout:5 /?", Kind::Help, 5, u""},
        {u"k /check /quiet", Kind::Fleet, 0, u""},
        {u"k -CHECK:x", Kind::Error, 0, u"-CHECK:x"},
    };
    for (const auto& c : cases) {
        const auto got = ParseWindowsCommandLine(c.line);
        EXPECT_EQ(got.kind, c.kind) << Narrow(c.line);
        EXPECT_EQ(got.timeoutMinutes, c.minutes) << Narrow(c.line);
        EXPECT_EQ(got.error, c.error) << Narrow(c.line);
    }
    const std::string_view waited[] = {"--wait", "--timeout=2"}, alone[] = {"--timeout=2"},
                           windows[] = {"--wait", "/timeout:2"};
    EXPECT_EQ(ParseLinuxArguments(waited).timeoutMinutes, 2u);
    const std::string_view check[] = {"--check"};
    EXPECT_TRUE(ParseLinuxArguments(check).check);
    EXPECT_TRUE(ParseWindowsCommandLine(u"k /Check").check);
    EXPECT_EQ(ParseLinuxArguments(alone).kind, LinuxInvocation::Kind::Error);
    EXPECT_EQ(ParseLinuxArguments(windows).kind, LinuxInvocation::Kind::Error);
}

TEST(CommandLine, ATargetIsOneWholeVersionAndBitLockerIsWindowsOnly)
{
    struct Case {
        std::u16string_view line;
        Kind kind;
        bool hasTarget, bitlocker;
        std::u16string_view target, error;
    };
    const Case cases[] = {
        {u"k /target:R0XET57W", Kind::Fleet, true, false, u"R0XET57W", u""},
        {u"k \"/TARGET:1.07 (A) \" /bitlocker", Kind::Fleet, true, true, u"1.07 (A) ", u""},
        {u"k /target:a:b /BitLocker", Kind::Fleet, true, true, u"a:b", u""},
        {u"k /target:", Kind::Error, false, false, u"", u"/target:"},
        {u"k /target", Kind::Error, false, false, u"", u"/target"},
        {u"k /target:1 /target:2", Kind::Error, true, false, u"1", u"/target:2"},
        {u"k /bitlocker:1", Kind::Error, false, false, u"", u"/bitlocker:1"},
        // A quote kept by the backslash before it took the rest of the line.
        {u"k \"/target:1.07\\\" /quiet -- /s", Kind::Error, false, false, u"", u"/target:1.07\" /quiet -- /s"},
    };
    for (const auto& c : cases) {
        const auto got = ParseWindowsCommandLine(c.line);
        EXPECT_EQ(got.kind, c.kind) << Narrow(c.line);
        EXPECT_EQ(got.hasTarget, c.hasTarget) << Narrow(c.line);
        EXPECT_EQ(got.target, c.target) << Narrow(c.line);
        EXPECT_EQ(got.bitlocker, c.bitlocker) << Narrow(c.line);
        EXPECT_EQ(got.error, c.error) << Narrow(c.line);
    }
    const std::string_view target[] = {"--target=\xE9 1"}, bitlocker[] = {"--bitlocker"};
    EXPECT_EQ(ParseLinuxArguments(target).target, "\xE9 1");
    EXPECT_EQ(ParseLinuxArguments(bitlocker).kind, LinuxInvocation::Kind::Error);
}

TEST(CommandLine, AListToFlashFromIsWholeVersionsAndALeastChargeAPercentage)
{
    const std::u16string many = [] {
        std::u16string list = u"v0";
        for (int i = 1; i < 64; ++i) list += u",v" + std::u16string(1, char16_t(u'0' + i % 10));
        return list;
    }();
    const std::u16string longest(kLongestFromVersion, u'x');
    struct Case {
        std::u16string line;
        Kind kind;
        std::u16string from;
        unsigned minCharge;
        std::u16string error;
    };
    const Case cases[] = {
        {u"k /from:1.05,1.06 /mincharge:10", Kind::Fleet, u"1.05,1.06", 10, u""},
        {u"k -FROM:R0XET57W -MinCharge:100", Kind::Fleet, u"R0XET57W", 100, u""},
        // A blank inside a version is the version's: "N2HET77W (1.60 )".
        {u"k \"/from:N2HET77W (1.60 ),Q78 Ver. 01.09.00\"", Kind::Fleet, u"N2HET77W (1.60 ),Q78 Ver. 01.09.00", 0, u""},
        {u"k /from:a:b", Kind::Fleet, u"a:b", 0, u""},
        {u"k /from:" + many, Kind::Fleet, many, 0, u""},
        {u"k /from:" + longest, Kind::Fleet, longest, 0, u""},
        // A blank at a version's edge is a list written with spaces.
        {u"k \"/from:1.05, 1.06\"", Kind::Error, u"", 0, u"/from:1.05, 1.06"},
        {u"k /from:1.05, 1.06", Kind::Error, u"", 0, u"/from:1.05,"},
        {u"k \"/from:1.05 \"", Kind::Error, u"", 0, u"/from:1.05 "},
        {u"k \"/from:\t1.05\"", Kind::Error, u"", 0, u"/from:\t1.05"},
        // Empty, or an empty version in it.
        {u"k /from:", Kind::Error, u"", 0, u"/from:"},
        {u"k /from", Kind::Error, u"", 0, u"/from"},
        {u"k /from:1.05,,1.06", Kind::Error, u"", 0, u"/from:1.05,,1.06"},
        {u"k /from:,1.05", Kind::Error, u"", 0, u"/from:,1.05"},
        {u"k /from:1.05,", Kind::Error, u"", 0, u"/from:1.05,"},
        {u"k /from:,", Kind::Error, u"", 0, u"/from:,"},
        // A quote kept by the backslash before it.
        {u"k \"/from:1.05\\\" /quiet", Kind::Error, u"", 0, u"/from:1.05\" /quiet"},
        {u"k /from:1.05 /from:1.06", Kind::Error, u"1.05", 0, u"/from:1.06"},
        // A quote left open: the rest of the line, "--" and the switches after
        // it, would be versions of the list, and the flash would start
        // without a least charge, BitLocker or the utility's switches.
        {u"k /quiet /from:1.05,1.06\" /mincharge:10 /bitlocker -- /s", Kind::Error, u"", 0,
         u"/from:1.05,1.06 /mincharge:10 /bitlocker -- /s"},
        {u"k /from:\"1.05,1.06 /mincharge:10", Kind::Error, u"", 0, u"/from:1.05,1.06 /mincharge:10"},
        {u"k /mincharge:10 \"/from:1.05", Kind::Error, u"", 10, u"/from:1.05"},
        {u"k /bogus \"/from:1.05", Kind::Error, u"", 0, u"/bogus"},
        // Too many versions, or one too long.
        {u"k /from:" + many + u",v", Kind::Error, u"", 0, u"/from:" + many + u",v"},
        {u"k /from:1.05," + longest + u"x", Kind::Error, u"", 0, u"/from:1.05," + longest + u"x"},
        {u"k /mincharge:0", Kind::Error, u"", 0, u"/mincharge:0"},
        {u"k /mincharge:101", Kind::Error, u"", 0, u"/mincharge:101"},
        {u"k /mincharge:", Kind::Error, u"", 0, u"/mincharge:"},
        {u"k /mincharge:10%", Kind::Error, u"", 0, u"/mincharge:10%"},
        {u"k /mincharge:-5", Kind::Error, u"", 0, u"/mincharge:-5"},
        {u"k /mincharge:99999999999", Kind::Error, u"", 0, u"/mincharge:99999999999"},
        {u"k /mincharge:10 /mincharge:20", Kind::Error, u"", 10, u"/mincharge:20"},
        {u"k /mincharge", Kind::Error, u"", 0, u"/mincharge"},
    };
    for (const auto& c : cases) {
        const auto got = ParseWindowsCommandLine(c.line);
        SCOPED_TRACE(Narrow(c.line));
        EXPECT_EQ(got.kind, c.kind);
        EXPECT_EQ(got.hasFrom, !c.from.empty());
        EXPECT_EQ(got.from, c.from);
        EXPECT_EQ(got.minCharge, c.minCharge);
        EXPECT_EQ(got.error, c.error);
    }
    const std::string_view linux[] = {"--from=1.05,\xE9 1", "--mincharge=10"}, empty[] = {"--from=1.05,"},
                           windows[] = {"/from:1.05"}, percent[] = {"--mincharge=0"};
    EXPECT_EQ(ParseLinuxArguments(linux).from, "1.05,\xE9 1");
    EXPECT_EQ(ParseLinuxArguments(linux).minCharge, 10u);
    for (const auto& arguments : {std::span<const std::string_view>(empty), std::span<const std::string_view>(windows),
                                  std::span<const std::string_view>(percent)})
        EXPECT_EQ(ParseLinuxArguments(arguments).kind, LinuxInvocation::Kind::Error) << arguments[0];
}

}  // namespace
}  // namespace kestrel
