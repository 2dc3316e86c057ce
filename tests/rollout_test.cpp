// What a rollout relies on: a machine already at the target is left alone,
// disk protection is suspended only for a flash that starts, and every log
// line has the same keys.
#include <gtest/gtest.h>

#include "fake/fake_fleet_shell.h"
#include "fake/fake_platform.h"
#include "fleet.h"
#include "run_log.h"

namespace kestrel {
namespace {

using testing::FakeEncryption;
using testing::FakeFleetShell;
using testing::V;

struct Road {
    const char* name;
    testing::BoardScript script;
    FleetRequest request;
    void (*setUp)(FakeFleetShell&, FakeEncryption&);
    int status, launches;
    // Protection: how often it was read, suspended and resumed, and the log's word.
    int reads, suspensions, resumptions;
    std::string_view line;  // in the last line
};

void None(FakeFleetShell&, FakeEncryption&) {}
void On(FakeFleetShell&, FakeEncryption& e) { e.state = VolumeProtection::On; }
void Off(FakeFleetShell&, FakeEncryption& e) { e.state = VolumeProtection::Off; }
void Unknown(FakeFleetShell&, FakeEncryption& e) { e.state = VolumeProtection::Unknown; }
void Refused(FakeFleetShell&, FakeEncryption& e) { e.state = VolumeProtection::On, e.suspends = false; }
void Windows7(FakeFleetShell&, FakeEncryption& e) { e.state = VolumeProtection::On, e.countsRestarts = false; }
void NotStarted(FakeFleetShell& s, FakeEncryption& e) { s.starts = false, e.state = VolumeProtection::On; }
void NotResumed(FakeFleetShell& s, FakeEncryption& e) { NotStarted(s, e), e.resumes = false; }
void Elevation(FakeFleetShell& s, FakeEncryption& e) { s.needsElevation = true, e.state = VolumeProtection::On; }
void Absent(FakeFleetShell& s, FakeEncryption& e) { s.present = s.starts = false, e.state = VolumeProtection::On; }
void Running(FakeFleetShell& s, FakeEncryption& e) { s.lock = FlashLock::FlashRunning, e.state = VolumeProtection::On; }
void Battery(FakeFleetShell& s, FakeEncryption& e) { s.onBattery = true, e.state = VolumeProtection::On; }
void Converting(FakeFleetShell&, FakeEncryption& e) { e.state = VolumeProtection::Converting; }
void ConvertingRefused(FakeFleetShell& s, FakeEncryption& e) { Converting(s, e), e.suspends = false; }
void ConvertingWindows7(FakeFleetShell& s, FakeEncryption& e) { Converting(s, e), e.countsRestarts = false; }
void Fails(FakeFleetShell& s, FakeEncryption& e) { s.utilityStatus = 5u, e.state = VolumeProtection::On; }

const testing::BoardScript kLaunchBoard{.boards = {V(u"34B")}, .bios = {V(u"R0XET57W")}};
const testing::BoardScript kNoFirmware{.boards = {V(u"34B")}};
const testing::BoardScript kTwoFirmwares{.boards = {V(u"34B")}, .bios = {V(u"R0XET57W"), V(u"R0XET60W")}};
const testing::BoardScript kWrongModel{.boards = {V(u"12B")}, .bios = {V(u"R0XET57W")}};

TEST(Rollout, EachTargetAndProtectionRoadEndsInItsStatus)
{
    const std::u16string at = u"R0XET57W", other = u"R0XET60W";
    // clang-format off
    const Road roads[] = {
        {"at the target", kLaunchBoard, {.target = at}, None, 11, 0, 0, 0, 0,
         R"("bios":"R0XET57W","biosNotRead":null,"target":"R0XET57W","bitlocker":null,"argument":null,)"
         R"("decision":"at target","result":"succeeded","status":11)"},
        {"deciding, at the target", kLaunchBoard, {.check = true, .target = at}, None, 11, 0, 0, 0, 0, R"("decision":"at target")"},
        {"another version", kLaunchBoard, {.target = other}, None, 0, 1, 0, 0, 0, R"("target":"R0XET60W","bitlocker":null,"argument":null,"decision":"launched")"},
        {"equal only when whole", kLaunchBoard, {.target = at + u" "}, None, 0, 1, 0, 0, 0, R"("decision":"launched")"},
        {"firmware not read: the flash goes on", kNoFirmware, {.target = at}, None, 0, 1, 0, 0, 0, R"("bios":null,"biosNotRead":"no firmware","target":"R0XET57W")"},
        {"two firmwares: neither is believed", kTwoFirmwares, {.target = other}, None, 0, 1, 0, 0, 0, R"("bios":null,"biosNotRead":"ambiguous")"},
        {"the wrong model comes first", kWrongModel, {.target = at}, None, 2, 0, 0, 0, 0, R"("decision":"wrong model")"},
        {"on: suspended for one restart", kLaunchBoard, {.bitlocker = true}, On, 0, 1, 1, 1, 0, R"("bitlocker":"suspended","argument":null,"decision":"launched")"},
        {"off", kLaunchBoard, {.bitlocker = true}, Off, 0, 1, 1, 0, 0, R"("bitlocker":"off")"},
        {"no BitLocker", kLaunchBoard, {.bitlocker = true}, None, 0, 1, 1, 0, 0, R"("bitlocker":"absent")"},
        {"suspension refused", kLaunchBoard, {.bitlocker = true}, Refused, 12, 0, 1, 1, 0,
         R"("bitlocker":"not suspended","argument":null,"decision":"protection on","result":"not started","status":12)"},
        {"no restart count (Windows 7)", kLaunchBoard, {.bitlocker = true}, Windows7, 12, 0, 1, 0, 0, R"("bitlocker":"no restart count")"},
        {"state unknown", kLaunchBoard, {.bitlocker = true}, Unknown, 12, 0, 1, 0, 0, R"("bitlocker":"unknown")"},
        {"utility not started: resumed", kLaunchBoard, {.bitlocker = true}, NotStarted, 3, 1, 1, 1, 1, R"("bitlocker":"resumed","argument":null,"decision":"launch failed")"},
        {"not started, resuming fails", kLaunchBoard, {.bitlocker = true}, NotResumed, 3, 1, 1, 1, 1, R"("bitlocker":"not resumed")"},
        {"quiet, needs elevation: resumed", kLaunchBoard, {.quiet = true, .bitlocker = true}, Elevation, 1, 1, 1, 1, 1, R"("bitlocker":"resumed")"},
        {"timed out: still suspended", kLaunchBoard, {.wait = true, .timeoutMinutes = 1, .bitlocker = true}, On, 9, 1, 1, 1, 0, R"("bitlocker":"suspended")"},
        {"not asked", kLaunchBoard, {}, On, 0, 1, 0, 0, 0, R"("bitlocker":null)"},
        {"no utility: untouched", kLaunchBoard, {.bitlocker = true}, Absent, 3, 1, 0, 0, 0, R"("bitlocker":null)"},
        {"a flash runs: untouched", kLaunchBoard, {.bitlocker = true}, Running, 1618, 0, 0, 0, 0, R"("bitlocker":null)"},
        {"on battery: untouched", kLaunchBoard, {.bitlocker = true}, Battery, 4, 0, 0, 0, 0, R"("bitlocker":null)"},
        {"wrong model: untouched", kWrongModel, {.bitlocker = true}, On, 2, 0, 0, 0, 0, R"("bitlocker":null)"},
        {"at the target: untouched", kLaunchBoard, {.target = at, .bitlocker = true}, On, 11, 0, 0, 0, 0, R"("bitlocker":null)"},
        {"deciding: only looked at", kLaunchBoard, {.check = true, .bitlocker = true}, On, 10, 0, 1, 0, 0, R"("bitlocker":"on","argument":null,"decision":"would start")"},
        {"encrypting: suspended for one restart", kLaunchBoard, {.bitlocker = true}, Converting, 0, 1, 1, 1, 0, R"("bitlocker":"suspended","argument":null,"decision":"launched")"},
        {"encrypting, suspension refused", kLaunchBoard, {.bitlocker = true}, ConvertingRefused, 12, 0, 1, 1, 0, R"("bitlocker":"not suspended","argument":null,"decision":"protection on")"},
        {"encrypting, no restart count", kLaunchBoard, {.bitlocker = true}, ConvertingWindows7, 12, 0, 1, 0, 0, R"("bitlocker":"no restart count")"},
        {"deciding, encrypting: would suspend", kLaunchBoard, {.check = true, .bitlocker = true}, Converting, 10, 0, 1, 0, 0, R"("bitlocker":"on")"},
        {"a waited utility failed: still suspended", kLaunchBoard, {.wait = true, .bitlocker = true}, Fails, 5, 1, 1, 1, 0, R"("bitlocker":"suspended","argument":null,"decision":"launched","result":"failed")"},
        {"deciding: Windows 7 would refuse", kLaunchBoard, {.check = true, .bitlocker = true}, Windows7, 12, 0, 1, 0, 0, R"("bitlocker":"no restart count")"},
    };
    // clang-format on
    for (const auto& road : roads) {
        SCOPED_TRACE(road.name);
        testing::FakeManagement management(road.script);
        FakeFleetShell shell;
        FakeEncryption encryption;
        road.setUp(shell, encryption);
        const RunFacts facts = shell.Facts();
        const FleetResult result = RunFleet(management, shell, encryption, road.request, facts);
        EXPECT_EQ(result.status, road.status);
        EXPECT_EQ(shell.launches, road.launches);
        EXPECT_EQ(encryption.reads, road.reads);
        EXPECT_EQ(encryption.suspensions, road.suspensions);
        EXPECT_EQ(encryption.resumptions, road.resumptions);
        if (road.status == kExitAtTarget) {
            EXPECT_EQ(shell.takes, 0);  // no lock needed to say so
        }
        const std::string line = LogLine(facts, road.request, result, 250, LogMoment::Ended);
        EXPECT_NE(line.find(road.line), std::string::npos) << line;
    }
}

void Charge5(FakeFleetShell& s, FakeEncryption&) { s.charge = {.battery = true, .percent = 5u}; }
void Charge10(FakeFleetShell& s, FakeEncryption&) { s.charge = {.battery = true, .percent = 10u}; }
void Charge50(FakeFleetShell& s, FakeEncryption&) { s.charge = {.battery = true, .percent = 50u}; }
void ChargeUnknown(FakeFleetShell& s, FakeEncryption&) { s.charge = {.battery = true, .percent = {}}; }
void Battery5(FakeFleetShell& s, FakeEncryption& e) { Charge5(s, e), s.onBattery = true; }

TEST(Rollout, OnlyFromAListedVersionAndAboveTheLeastCharge)
{
    const std::u16string listed = u"R0XET50W,R0XET57W", older = u"R0XET50W,R0XET55W";
    const struct {
        const char* name;
        const testing::BoardScript& script;
        FleetRequest request;
        void (*setUp)(FakeFleetShell&, FakeEncryption&);
        int status, launches, takes, chargeReads;
        std::string_view line;  // in the last line
    } roads[] = {
        {"listed",
         kLaunchBoard,
         {.from = listed},
         None,
         0,
         1,
         1,
         0,
         R"("decision":"launched","result":"unknown","status":0,"utility":null,"utilityHex":null,"durationMs":250,)"
         R"("accountSid":"S-1-5-18","agentJob":null,"lockOwner":null,"from":["R0XET50W","R0XET57W"],"charge":null})"},
        {"a later version, not listed",
         kLaunchBoard,
         {.target = u"R0XET56W", .from = older},
         None,
         15,
         0,
         0,
         0,
         R"("target":"R0XET56W","bitlocker":null,"argument":null,"decision":"not listed","result":"not started",)"
         R"("status":15,"utility":null,"utilityHex":null,"durationMs":250,"accountSid":"S-1-5-18","agentJob":null,"lockOwner":null,"from":["R0XET50W","R0XET55W"],"charge":null})"},
        {"deciding, listed",
         kLaunchBoard,
         {.check = true, .from = listed},
         None,
         10,
         0,
         0,
         0,
         R"("decision":"would start")"},
        {"deciding, not listed",
         kLaunchBoard,
         {.check = true, .from = older},
         None,
         15,
         0,
         0,
         0,
         R"("decision":"not listed")"},
        {"a part of a version is not it",
         kLaunchBoard,
         {.from = u"R0XET57,0XET57W,r0xet57w"},
         None,
         15,
         0,
         0,
         0,
         R"("status":15)"},
        {"the target comes first",
         kLaunchBoard,
         {.target = u"R0XET57W", .from = older},
         None,
         11,
         0,
         0,
         0,
         R"("status":11)"},
        {"the wrong model before the list",
         kWrongModel,
         {.quiet = true, .from = older},
         None,
         2,
         0,
         0,
         0,
         R"("status":2)"},
        {"firmware not read: not listed",
         kNoFirmware,
         {.from = listed},
         None,
         15,
         0,
         0,
         0,
         R"("biosNotRead":"no firmware")"},
        {"two firmwares: not listed",
         kTwoFirmwares,
         {.from = u"R0XET57W,R0XET60W"},
         None,
         15,
         0,
         0,
         0,
         R"("status":15)"},
        {"a flash runs", kLaunchBoard, {.from = listed}, Running, 1618, 0, 1, 0, R"("status":1618)"},
        {"5% on mains, 10 asked",
         kLaunchBoard,
         {.minCharge = 10u},
         Charge5,
         4,
         0,
         1,
         1,
         R"("decision":"low charge","result":"not started","status":4,"utility":null,"utilityHex":null,)"
         R"("durationMs":250,"accountSid":"S-1-5-18","agentJob":null,"lockOwner":null,"from":null,"charge":5})"},
        {"10% on mains, 10 asked", kLaunchBoard, {.minCharge = 10u}, Charge10, 0, 1, 1, 1, R"("decision":"launched")"},
        {"50%",
         kLaunchBoard,
         {.minCharge = 10u},
         Charge50,
         0,
         1,
         1,
         1,
         R"("decision":"launched","result":"unknown","status":0,"utility":null,"utilityHex":null,"durationMs":250,"accountSid":"S-1-5-18","agentJob":null,"lockOwner":null,"from":null,"charge":50})"},
        {"no battery", kLaunchBoard, {.minCharge = 10u}, None, 0, 1, 1, 1, R"("decision":"launched")"},
        {"a charge unknown",
         kLaunchBoard,
         {.minCharge = 10u},
         ChargeUnknown,
         4,
         0,
         1,
         1,
         R"("decision":"low charge","result":"not started","status":4,"utility":null,"utilityHex":null,"durationMs":250,"accountSid":"S-1-5-18","agentJob":null,"lockOwner":null,"from":null,"charge":null})"},
        {"deciding, 5%",
         kLaunchBoard,
         {.check = true, .minCharge = 10u},
         Charge5,
         4,
         0,
         0,
         1,
         R"("decision":"low charge")"},
        {"on battery comes first",
         kLaunchBoard,
         {.minCharge = 10u},
         Battery5,
         4,
         0,
         1,
         0,
         R"("decision":"on battery")"},
        {"not listed: the charge not read",
         kLaunchBoard,
         {.from = older, .minCharge = 10u},
         Charge5,
         15,
         0,
         0,
         0,
         R"("charge":null)"},
        // Without the switch the charge is not even read.
        {"not asked", kLaunchBoard, {}, Charge5, 0, 1, 1, 0, R"("from":null,"charge":null})"},
    };
    for (const auto& road : roads) {
        SCOPED_TRACE(road.name);
        testing::FakeManagement management(road.script);
        FakeFleetShell shell;
        FakeEncryption encryption;
        road.setUp(shell, encryption);
        const RunFacts facts = shell.Facts();
        const FleetResult result = RunFleet(management, shell, encryption, road.request, facts);
        EXPECT_EQ(result.status, road.status);
        EXPECT_EQ(shell.launches, road.launches);
        EXPECT_EQ(shell.takes, road.takes);
        EXPECT_EQ(shell.chargeReads, road.chargeReads);
        EXPECT_EQ(shell.boxes, 0);  // no box for either refusal, quiet or not
        const std::string line = LogLine(facts, road.request, result, 250, LogMoment::Ended);
        EXPECT_NE(line.find(road.line), std::string::npos) << line;
    }
    // Our own status is never passed on as a waited utility's.
    EXPECT_EQ(WaitedStatus(15u), kExitUtilityStatusHidden);
}

// What the provider's two answers make of a volume. Microsoft Learn,
// Win32_EncryptableVolume: GetProtectionStatus answers 0 (PROTECTION OFF:
// "unencrypted, partially encrypted, or the volume's encryption key is
// available in the clear on the hard disk"), 1 (ON) or 2 (UNKNOWN: locked);
// GetConversionStatus 0 FULLY DECRYPTED, 1 FULLY ENCRYPTED, 2 ENCRYPTION IN
// PROGRESS, 3 DECRYPTION IN PROGRESS, 4 ENCRYPTION PAUSED, 5 DECRYPTION
// PAUSED; EnableKeyProtectors: on a partly encrypted volume "the volume will
// be protected when it becomes fully encrypted".
TEST(Rollout, ProtectionOffOnlyForAVolumeThatNeedsNoKey)
{
    constexpr std::uint32_t kNotRead = 0xFFFFFFFF;
    const struct {
        std::uint32_t protection, conversion;
        VolumeProtection expected;
    } cases[] = {
        {1, kNotRead, VolumeProtection::On},
        {0, 0, VolumeProtection::Off},         // fully decrypted
        {0, 1, VolumeProtection::Off},         // fully encrypted, protectors suspended
        {0, 2, VolumeProtection::Converting},  // encrypting: the silent encryption of an enrolment
        {0, 3, VolumeProtection::Converting},
        {0, 4, VolumeProtection::Converting},
        {0, 5, VolumeProtection::Converting},
        {0, 6, VolumeProtection::Unknown},
        {0, kNotRead, VolumeProtection::Unknown},
        {2, 1, VolumeProtection::Unknown},
        {kNotRead, 0, VolumeProtection::Unknown},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.protection << " " << c.conversion);
        EXPECT_EQ(ProtectionOf(c.protection, c.conversion), c.expected);
    }
}

// The keys of a line's object, in order.
std::vector<std::string> Keys(std::string_view line)
{
    std::vector<std::string> keys;
    std::string text;
    bool inText = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (inText) {
            if (c == '\\') text += line[++i];
            else if (c == '"') inText = false;
            else text += c;
        } else if (c == '"') {
            inText = true;
            text.clear();
        } else if (c == ':') {
            keys.push_back(text);
        }
    }
    return keys;
}

TEST(Rollout, EveryLineHasTheSameKeysAndTheUtilitysStatusSigned)
{
    testing::FakeManagement management(kLaunchBoard);
    FakeFleetShell shell;
    FakeEncryption encryption;
    shell.utilityStatus = 0xC0000005u;
    const RunFacts facts = shell.Facts();
    const FleetRequest waited{.wait = true, .target = u"R0XET60W"};
    const FleetResult crashed = RunFleet(management, shell, encryption, waited, facts);
    ASSERT_EQ(shell.log.size(), 1u);
    EXPECT_EQ(shell.log[0],
              R"({"started":"2026-12-08T14:05:09+01:00","kestrel":"1.00","run":"00001234-01dd67a1b2c3d4e5",)"
              R"("computer":"PC-01","account":"NT AUTHORITY\\SYSTEM","session":0,"board":"34B","boardNotRead":null,)"
              R"("bios":"R0XET57W","biosNotRead":null,"target":"R0XET60W","bitlocker":null,"argument":null,)"
              R"("decision":"starting","result":"unknown","status":null,"utility":null,"utilityHex":null,)"
              R"("durationMs":250,"accountSid":"S-1-5-18","agentJob":null,"lockOwner":null,"from":null,"charge":null})"
              "\n");
    const std::string end = LogLine(facts, waited, crashed, 9000, LogMoment::Ended);
    EXPECT_NE(
        end.find(
            R"("decision":"launched","result":"failed","status":-1073741819,"utility":-1073741819,)"
            R"("utilityHex":"0xC0000005","durationMs":9000,"accountSid":"S-1-5-18","agentJob":null,"lockOwner":null,"from":null,"charge":null})"),
        std::string::npos)
        << end;
    FakeFleetShell usage;
    const std::string usageLine =
        LogLine(facts, {}, RunUsageError(usage, {.quiet = true}, u"/bogus", u"usage"), 0, LogMoment::Ended);
    testing::FakeManagement unread({.bindFails = true});
    const std::string unreadLine =
        LogLine(facts, {}, RunFleet(unread, usage, encryption, {.quiet = true}, facts), 0, LogMoment::Ended);
    EXPECT_NE(unreadLine.find(R"("board":null,"boardNotRead":"bind","bios":null,"biosNotRead":"bind")"),
              std::string::npos);
    for (const std::string& line : {end, usageLine, unreadLine}) EXPECT_EQ(Keys(line), Keys(shell.log[0])) << line;
    // Every line break a reader might split at stays inside the string.
    const FleetRequest breaks{.target = u"A\u2028B\u0085C\u2029\u007F"};
    EXPECT_NE(LogLine(facts, breaks, crashed, 0, LogMoment::Ended).find(R"("target":"A\u2028B\u0085C\u2029\u007f")"),
              std::string::npos);
}

}  // namespace
}  // namespace kestrel
