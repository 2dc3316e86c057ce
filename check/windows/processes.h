// The processes of the machine as the check looks at them from outside its
// debug tree: those that run from the scratch folder, and those that a
// process of the tree started and whose first event has not come yet.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace kestrel::check {

// A process of the tree: its id and when it was made (GetProcessTimes), so
// that a later process given the same id is not taken for its child.
struct TreeMember {
    DWORD id;
    ULONGLONG created;
};

// When the process was made, or 0 when that cannot be read.
ULONGLONG CreatedAt(HANDLE process);

// Whether a running process that is not among `members` was made by one of
// them after it: a child whose first thread has not started yet. A child
// raises its first debug event only as its first thread starts (Debugging
// Events, Microsoft Learn), which may be after its parent has ended.
bool ChildNotYetSeen(const std::vector<TreeMember>& members);

// Ends every running process whose image lies in the scratch folder (under
// one of `scratch`, its spellings) and gives their images; this process
// aside.
std::vector<std::wstring> EndScratchProcesses(const std::vector<std::wstring>& scratch);

}  // namespace kestrel::check
