#include "fake_platform.h"

#include "probe.h"

namespace kestrel::testing {

namespace {

// Counts itself among the references held while it lives.
class Counted {
public:
    explicit Counted(FakeManagement& owner) : owner_(owner) { ++owner_.live; }
    ~Counted() { --owner_.live; }
    Counted(const Counted&) = delete;
    Counted& operator=(const Counted&) = delete;

protected:
    FakeManagement& owner_;
};

class FakeBoard final : public BoardObject, Counted {
public:
    FakeBoard(FakeManagement& owner, VersionRead version) : Counted(owner), version_(std::move(version)) {}
    VersionRead ReadVersion() override
    {
        ++owner_.versionReads;
        return version_;
    }

private:
    VersionRead version_;
};

class FakeEnumeration final : public BoardEnumeration, Counted {
public:
    FakeEnumeration(FakeManagement& owner, const std::vector<VersionRead>& items) : Counted(owner), items_(items) {}
    Step Next() override
    {
        const auto& script = owner_.script();
        if (script.advanceFailsAt && *script.advanceFailsAt == next_) return {Status::Failed, nullptr};
        if (next_ >= items_.size()) return {Status::End, nullptr};
        return {Status::Item, std::make_unique<FakeBoard>(owner_, items_[next_++])};
    }

private:
    const std::vector<VersionRead>& items_;
    std::size_t next_ = 0;
};

class FakeSet final : public BoardSet, Counted {
public:
    FakeSet(FakeManagement& owner, const std::vector<VersionRead>& items) : Counted(owner), items_(items) {}
    std::unique_ptr<BoardEnumeration> Enumerate() override
    {
        if (owner_.script().enumerationFails) return nullptr;
        return std::make_unique<FakeEnumeration>(owner_, items_);
    }

private:
    const std::vector<VersionRead>& items_;
};

class FakeService final : public ManagementService, Counted {
public:
    using Counted::Counted;
    std::unique_ptr<BoardSet> ExecQuery(std::u16string_view wql, std::int32_t flags) override
    {
        owner_.queries.emplace_back(wql);
        owner_.queryFlags.push_back(flags);
        if (owner_.script().queryFails) return nullptr;
        const auto& script = owner_.script();
        return std::make_unique<FakeSet>(owner_, wql == kBiosQuery ? script.bios : script.boards);
    }
};

}  // namespace

std::unique_ptr<ManagementService> FakeManagement::Bind(std::u16string_view displayName)
{
    displayNames.emplace_back(displayName);
    if (script_.bindFails) return nullptr;
    return std::make_unique<FakeService>(*this);
}

}  // namespace kestrel::testing
