#include "probe.h"

#include <string>

namespace kestrel {

BoardPrefix ProbeBoard(Management& management)
{
    BoardPrefix prefix;

    const std::u16string computer(kComputerName);
    const auto service = management.Bind(u"winmgmts:\\\\" + computer + u"\\root\\cimv2");
    if (!service) return prefix;

    const auto boards = service->ExecQuery(kBoardQuery, kBoardQueryFlags);
    if (!boards) return prefix;

    const auto walk = boards->Enumerate();
    if (!walk) return prefix;

    for (;;) {
        const auto step = walk->Next();
        if (step.status != BoardEnumeration::Status::Item || !step.board) break;
        prefix.Assign(step.board->ReadVersion());
    }
    return prefix;
}

}  // namespace kestrel
