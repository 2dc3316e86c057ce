// The platform's operations that the start-up routine needs, as small
// interfaces. No call throws: each reports failure through its result.
//
// Object references are owned through std::unique_ptr, so whatever the
// routine holds is released when it goes out of scope, on every road.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "board_prefix.h"

namespace kestrel {

// One Win32_BaseBoard instance.
class BoardObject {
public:
    virtual ~BoardObject() = default;
    virtual VersionRead ReadVersion() = 0;
};

// A forward-only walk over the instances of a query's result.
class BoardEnumeration {
public:
    enum class Status { Item, End, Failed };
    struct Step {
        Status status = Status::Failed;
        std::unique_ptr<BoardObject> board;  // set when status is Item
    };

    virtual ~BoardEnumeration() = default;
    virtual Step Next() = 0;
};

// The result of a query; null from Enumerate when the walk cannot start.
class BoardSet {
public:
    virtual ~BoardSet() = default;
    virtual std::unique_ptr<BoardEnumeration> Enumerate() = 0;
};

// A bound management namespace; null from ExecQuery when the query fails.
class ManagementService {
public:
    virtual ~ManagementService() = default;
    virtual std::unique_ptr<BoardSet> ExecQuery(std::u16string_view wql, std::int32_t flags) = 0;
};

// The platform's get-object-by-name service; null from Bind on failure.
class Management {
public:
    virtual ~Management() = default;
    virtual std::unique_ptr<ManagementService> Bind(std::u16string_view displayName) = 0;
};

// Message boxes and process launch.
class UserShell {
public:
    virtual ~UserShell() = default;
    // Modal; true when the box was shown (and closed).
    virtual bool ShowMessage(std::u16string_view text, int style, std::u16string_view caption) = 0;
    // Starts the program by file name with a window state, without waiting;
    // true when it was started.
    virtual bool Launch(std::u16string_view fileName, int windowState) = 0;
    // Whether another flash provably runs on the machine now; asked just
    // before a launch. A platform without flash lock has none.
    virtual bool FlashRunning() { return false; }
};

}  // namespace kestrel
