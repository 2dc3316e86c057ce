#include "log_tail.h"

namespace kestrel {

LogMend MendLogTail(std::string_view tail, std::uint64_t size)
{
    if (tail.empty() || tail.back() == '\n') return {size, false};
    const std::size_t end = tail.rfind('\n');
    const std::uint64_t start = size - tail.size();
    if (end != std::string_view::npos) return {start + end + 1, false};
    // No line feed in what was read: the whole file is one fragment, or the
    // fragment began before the tail, and is left standing on its own line.
    if (start == 0) return {0, false};
    return {size, true};
}

}  // namespace kestrel
