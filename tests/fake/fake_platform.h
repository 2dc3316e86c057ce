// A scripted platform for the start-up routine: boards, failures at each
// step, and a count of the references still held.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "ports.h"

namespace kestrel::testing {

// A board's or a firmware's version read as this text.
inline VersionRead V(std::u16string_view text) { return VersionRead::Text(text); }

struct BoardScript {
    bool bindFails = false;
    bool queryFails = false;
    bool enumerationFails = false;
    std::vector<VersionRead> boards;
    std::vector<VersionRead> bios;              // the firmware's instances (the BIOS query)
    std::optional<std::size_t> advanceFailsAt;  // the advance that would yield this board fails
};

class FakeManagement final : public Management {
public:
    explicit FakeManagement(BoardScript script) : script_(std::move(script)) {}

    std::unique_ptr<ManagementService> Bind(std::u16string_view displayName) override;

    int live = 0;  // references handed out and not yet released
    std::vector<std::u16string> displayNames;
    std::vector<std::u16string> queries;
    std::vector<std::int32_t> queryFlags;
    std::size_t versionReads = 0;

    const BoardScript& script() const { return script_; }

private:
    BoardScript script_;
};

struct ShownMessage {
    std::u16string text;
    int style = 0;
    std::u16string caption;
};

struct Launched {
    std::u16string fileName;
    int windowState = 0;
};

class FakeShell final : public UserShell {
public:
    bool launchSucceeds = true, flashRunning = false;
    int lockLooks = 0;
    std::vector<ShownMessage> messages;
    std::vector<Launched> launches;

    bool ShowMessage(std::u16string_view text, int style, std::u16string_view caption) override
    {
        messages.push_back({std::u16string(text), style, std::u16string(caption)});
        return true;
    }
    bool Launch(std::u16string_view fileName, int windowState) override
    {
        launches.push_back({std::u16string(fileName), windowState});
        return launchSucceeds;
    }
    bool FlashRunning() override
    {
        ++lockLooks;
        return flashRunning;
    }
};

}  // namespace kestrel::testing
