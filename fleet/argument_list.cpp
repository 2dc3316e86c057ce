#include "switches.h"

namespace kestrel {

LinuxInvocation ParseLinuxArguments(std::span<const std::string_view> arguments)
{
    LinuxInvocation out;
    std::size_t i = 0;
    while (i < arguments.size() && !switches::Read<char>(arguments[i], false, out)) ++i;
    for (++i; i < arguments.size(); ++i) out.utilityArguments.emplace_back(arguments[i]);
    switches::Finish(out);
    return out;
}

}  // namespace kestrel
