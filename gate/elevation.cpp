#include "elevation.h"

namespace kestrel {

bool StartElevatingIfRequired(ProcessStarter& starter, std::u16string_view path, int windowState)
{
    switch (starter.Start(path, windowState)) {
    case ProcessStarter::Result::Started: return true;
    case ProcessStarter::Result::ElevationRequired: return starter.StartElevated(path, windowState);
    case ProcessStarter::Result::Failed: break;
    }
    return false;
}

}  // namespace kestrel
