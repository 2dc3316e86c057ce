// What a writer does to a log before it appends a line, so that every line
// in it stays whole: a fragment left by a write that failed part-way (a full
// disk, a run ended in the middle) is cut off first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace kestrel {

// How many of the log's last bytes a writer reads to find where its last
// whole line ends. A line is far shorter.
inline constexpr std::size_t kLogTailBytes = 4096;

struct LogMend {
    std::uint64_t keep = 0;  // the size to cut the file to: the end of its last whole line
    bool newline = false;    // a line feed must go first: the fragment is longer than the tail read
};

// `tail` holds the last bytes of a log of `size` bytes: all of them, or the
// last kLogTailBytes.
LogMend MendLogTail(std::string_view tail, std::uint64_t size);

}  // namespace kestrel
