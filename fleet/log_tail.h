// What a writer does to a log before it appends a line, so that its own line
// is whole: nothing is taken away, whoever wrote what stands there.
#pragma once

#include <string_view>

namespace kestrel {

// Whether a writer's line must begin with a line feed, given the log's last
// byte (or nothing, for an empty log): a line that is not ended (another
// writer's, or a write cut short) stays as it is, and the next line starts
// on a line of its own.
bool LineFeedFirst(std::string_view end);

}  // namespace kestrel
