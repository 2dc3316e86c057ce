#include "elevation.h"

namespace kestrel {

ProcessStarter::Result StartElevatingIfRequired(ProcessStarter& starter, std::u16string_view path, int windowState,
                                                bool mayPrompt)
{
    using Result = ProcessStarter::Result;
    const Result plain = starter.Start(path, windowState);
    if (plain != Result::ElevationRequired || !mayPrompt) return plain;
    return starter.StartElevated(path, windowState) ? Result::Started : Result::Failed;
}

}  // namespace kestrel
