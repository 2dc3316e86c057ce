#include "dmi_management.h"

#include <climits>
#include <cstdio>
#include <new>
#include <optional>

#include "../probe.h"
#include "file_bytes.h"
#include "smbios.h"

namespace kestrel {

namespace {

// The entry point is a few dozen bytes; a file of more is not one.
constexpr std::size_t kMaxEntryPointBytes = 64;

bool SameIgnoringAsciiCase(std::u16string_view a, std::u16string_view b)
{
    if (a.size() != b.size()) return false;
    const auto lower = [](char16_t c) { return (c >= u'A' && c <= u'Z') ? char16_t(c - u'A' + u'a') : c; };
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i])) return false;
    return true;
}

// The table and how far to walk it, shared by every object of one bind.
struct Table {
    SharedBytes bytes;
    std::optional<smbios::EntryPoint> entry;
};

// The structures a query asks for, and where their version's string is.
struct Kind {
    std::uint8_t type;
    std::size_t versionOffset;
};

template <typename T, typename... Args>
std::unique_ptr<T> MakeOrNull(Args&&... args)
{
    return std::unique_ptr<T>(new (std::nothrow) T(std::forward<Args>(args)...));
}

class DmiBoard final : public BoardObject {
public:
    DmiBoard(const SharedBytes& table, smbios::StringRef version) : table_(table), version_(version) {}

    VersionRead ReadVersion() override
    {
        switch (version_.status) {
        case smbios::StringRef::Status::Null: return VersionRead::Null();
        case smbios::StringRef::Status::Text: return Text();
        case smbios::StringRef::Status::Missing: break;
        }
        return VersionRead::Failed();
    }

private:
    // SMBIOS strings are bytes; each becomes one UTF-16 code unit. The text
    // is the one allocation whose size the table sets: when it cannot be
    // made, the read fails.
    VersionRead Text() const
    {
        try {
            VersionRead read{VersionRead::Status::Text, {}};
            read.text.resize(version_.text.size());
            for (std::size_t i = 0; i < version_.text.size(); ++i)
                read.text[i] = static_cast<unsigned char>(version_.text[i]);
            return read;
        } catch (const std::bad_alloc&) {
            return VersionRead::Failed();
        }
    }

    SharedBytes table_;  // keeps the version's bytes alive
    smbios::StringRef version_;
};

class DmiEnumeration final : public BoardEnumeration {
public:
    DmiEnumeration(const Table& table, Kind kind) : table_(table.bytes), walk_(table_.bytes(), table.entry), kind_(kind)
    {
    }

    Step Next() override
    {
        for (;;) {
            const auto step = walk_.Next();
            switch (step.status) {
            case smbios::Step::Status::End: return {Status::End, nullptr};
            case smbios::Step::Status::Malformed: return {Status::Failed, nullptr};
            case smbios::Step::Status::Structure:
                if (step.structure.type != kind_.type) break;
                auto board = MakeOrNull<DmiBoard>(table_, smbios::StringAt(step.structure, kind_.versionOffset));
                if (!board) return {Status::Failed, nullptr};
                return {Status::Item, std::move(board)};
            }
        }
    }

private:
    SharedBytes table_;
    smbios::Walk walk_;
    Kind kind_;
};

class DmiBoardSet final : public BoardSet {
public:
    DmiBoardSet(const Table& table, Kind kind) : table_(table), kind_(kind) {}
    std::unique_ptr<BoardEnumeration> Enumerate() override { return MakeOrNull<DmiEnumeration>(table_, kind_); }

private:
    Table table_;
    Kind kind_;
};

class DmiService final : public ManagementService {
public:
    explicit DmiService(Table table) : table_(std::move(table)) {}

    std::unique_ptr<BoardSet> ExecQuery(std::u16string_view wql, std::int32_t) override
    {
        // The table answers the probe's two queries, and nothing else: the
        // baseboards' versions, and the firmware's (its BIOS Version string).
        if (SameIgnoringAsciiCase(wql, kBoardQuery))
            return MakeOrNull<DmiBoardSet>(table_, Kind{smbios::kBaseboardType, smbios::kBaseboardVersionOffset});
        if (SameIgnoringAsciiCase(wql, kBiosQuery))
            return MakeOrNull<DmiBoardSet>(table_, Kind{smbios::kBiosType, smbios::kBiosVersionOffset});
        return nullptr;
    }

private:
    Table table_;
};

}  // namespace

std::unique_ptr<ManagementService> DmiManagement::Bind(std::u16string_view displayName)
{
    if (!SameIgnoringAsciiCase(displayName, u"winmgmts:\\\\.\\root\\cimv2")) return nullptr;

    char path[PATH_MAX];
    const auto pathOf = [&](const char* name) {
        const int n = std::snprintf(path, sizeof path, "%s/%s", tablesDir_, name);
        return n > 0 && static_cast<std::size_t>(n) < sizeof path;
    };

    Table table;
    if (!pathOf("smbios_entry_point")) return nullptr;
    if (!PathIsAbsent(path)) {
        const auto entry = SharedBytes::ReadRegularFile(path, kMaxEntryPointBytes);
        if (!entry.ok()) return nullptr;
        table.entry = smbios::ParseEntryPoint(entry.bytes());
        if (!table.entry) return nullptr;
    }
    if (!pathOf("DMI")) return nullptr;
    table.bytes = SharedBytes::ReadRegularFile(path, kMaxTableBytes);
    if (!table.bytes.ok()) return nullptr;
    return MakeOrNull<DmiService>(std::move(table));
}

}  // namespace kestrel
