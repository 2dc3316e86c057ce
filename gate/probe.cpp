#include "probe.h"

#include <string>

namespace kestrel {

namespace {

// A report of a walk that stopped at `step`, before any board was read.
BoardReport FailedAt(ProbeStep step)
{
    BoardReport report;
    report.failedAt = step;
    return report;
}

// `single`: a second instance makes the walk fail (Ambiguous).
BoardReport ReadLastVersion(Management& management, std::u16string_view query, bool single)
{
    const std::u16string computer(kComputerName);
    const auto service = management.Bind(u"winmgmts:\\\\" + computer + u"\\root\\cimv2");
    if (!service) return FailedAt(ProbeStep::Bind);

    const auto boards = service->ExecQuery(query, kBoardQueryFlags);
    if (!boards) return FailedAt(ProbeStep::Query);

    const auto walk = boards->Enumerate();
    if (!walk) return FailedAt(ProbeStep::Enumeration);

    BoardReport report;
    ProbeStep stop = ProbeStep::NoBoard;
    for (;;) {
        const auto step = walk->Next();
        if (step.status != BoardEnumeration::Status::Item || !step.board) {
            if (step.status == BoardEnumeration::Status::Failed && stop == ProbeStep::NoBoard)
                stop = ProbeStep::Enumeration;
            break;
        }
        if (single && stop != ProbeStep::NoBoard) {
            report.version = VersionRead::Failed();
            stop = ProbeStep::Ambiguous;
            break;
        }
        VersionRead read = step.board->ReadVersion();
        report.prefix.Assign(read);
        if (read.status == VersionRead::Status::Failed) {
            if (stop == ProbeStep::NoBoard) stop = ProbeStep::Property;
        } else {
            report.version = std::move(read);
            stop = ProbeStep::None;
        }
    }
    report.failedAt = report.version.status == VersionRead::Status::Failed ? stop : ProbeStep::None;
    return report;
}

}  // namespace

BoardReport ReadBoard(Management& management) { return ReadLastVersion(management, kBoardQuery, false); }

BoardReport ReadBios(Management& management) { return ReadLastVersion(management, kBiosQuery, true); }

BoardPrefix ProbeBoard(Management& management) { return ReadBoard(management).prefix; }

}  // namespace kestrel
