#include "dmi_management.h"

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

#include "../probe.h"
#include "smbios.h"

namespace kestrel {

namespace {

using Table = std::shared_ptr<const std::vector<std::uint8_t>>;

bool SameIgnoringAsciiCase(std::u16string_view a, std::u16string_view b)
{
    const auto lower = [](char16_t c) { return (c >= u'A' && c <= u'Z') ? char16_t(c - u'A' + u'a') : c; };
    return std::ranges::equal(a, b, {}, lower, lower);
}

class DmiBoard final : public BoardObject {
public:
    explicit DmiBoard(VersionRead version) : version_(std::move(version)) {}
    VersionRead ReadVersion() override { return version_; }

private:
    VersionRead version_;
};

VersionRead BaseboardVersion(const smbios::Structure& board)
{
    const auto ref = smbios::StringAt(board, smbios::kBaseboardVersionOffset);
    switch (ref.status) {
    case smbios::StringRef::Status::Null:
        return VersionRead::Null();
    case smbios::StringRef::Status::Text: {
        // SMBIOS strings are bytes; each becomes one UTF-16 code unit.
        std::u16string text;
        for (const char byte : ref.text) text.push_back(static_cast<unsigned char>(byte));
        return VersionRead::Text(text);
    }
    case smbios::StringRef::Status::Missing:
        break;
    }
    return VersionRead::Failed();
}

class DmiEnumeration final : public BoardEnumeration {
public:
    explicit DmiEnumeration(Table table) : table_(std::move(table)) {}

    Step Next() override
    {
        for (;;) {
            if (done_) return {Status::End, nullptr};
            const auto step = smbios::ReadStructure(*table_, offset_);
            switch (step.status) {
            case smbios::Step::Status::End:
                done_ = true;
                return {Status::End, nullptr};
            case smbios::Step::Status::Malformed:
                done_ = true;
                return {Status::Failed, nullptr};
            case smbios::Step::Status::Structure:
                offset_ = step.next;
                if (step.structure.type == smbios::kBaseboardType)
                    return {Status::Item, std::make_unique<DmiBoard>(BaseboardVersion(step.structure))};
                break;
            }
        }
    }

private:
    Table table_;
    std::size_t offset_ = 0;
    bool done_ = false;
};

class DmiBoardSet final : public BoardSet {
public:
    explicit DmiBoardSet(Table table) : table_(std::move(table)) {}
    std::unique_ptr<BoardEnumeration> Enumerate() override { return std::make_unique<DmiEnumeration>(table_); }

private:
    Table table_;
};

class DmiService final : public ManagementService {
public:
    explicit DmiService(Table table) : table_(std::move(table)) {}

    std::unique_ptr<BoardSet> ExecQuery(std::u16string_view wql, std::int32_t) override
    {
        // The table answers the one query the probe makes, and nothing else.
        if (!SameIgnoringAsciiCase(wql, kBoardQuery)) return nullptr;
        return std::make_unique<DmiBoardSet>(table_);
    }

private:
    Table table_;
};

}  // namespace

std::unique_ptr<ManagementService> DmiManagement::Bind(std::u16string_view displayName)
{
    if (!SameIgnoringAsciiCase(displayName, u"winmgmts:\\\\.\\root\\cimv2")) return nullptr;
    std::ifstream in(tablePath_, std::ios::binary);
    if (!in) return nullptr;
    auto bytes = std::make_shared<std::vector<std::uint8_t>>(std::istreambuf_iterator<char>(in),
                                                             std::istreambuf_iterator<char>());
    if (in.bad()) return nullptr;
    return std::make_unique<DmiService>(std::move(bytes));
}

}  // namespace kestrel
