// A file's bytes, read whole with POSIX calls into one block that the board
// source's objects share. Nothing here throws: a failure is an empty result.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace kestrel {

// A reference-counted, read-only block of bytes; copies share it.
class SharedBytes {
public:
    SharedBytes() = default;
    SharedBytes(const SharedBytes& other) noexcept;
    SharedBytes& operator=(SharedBytes other) noexcept;
    ~SharedBytes();

    // Reads the regular file at `path`, following symbolic links, when it
    // holds at most `limit` bytes. A missing file, a directory, a FIFO or any
    // other special file, a failed read and a failed allocation all give a
    // result that is not ok().
    static SharedBytes ReadRegularFile(const char* path, std::size_t limit) noexcept;

    bool ok() const { return block_ != nullptr; }
    std::span<const std::uint8_t> bytes() const;

private:
    struct Block;
    explicit SharedBytes(Block* block) : block_(block) {}
    Block* block_ = nullptr;
};

// Whether `path` names nothing at all (as opposed to something unreadable).
bool PathIsAbsent(const char* path) noexcept;

}  // namespace kestrel
