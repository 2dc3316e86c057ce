#include "log_tail.h"

namespace kestrel {

bool LineFeedFirst(std::string_view end) { return !end.empty() && end.back() != '\n'; }

}  // namespace kestrel
