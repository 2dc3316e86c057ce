#include "flash_job.h"

#include <memory>

#include "admin_only.h"

namespace kestrel {

namespace {

// Whether a job of the lock's name is a flash that is over: it has held
// processes and holds none now, its name outliving it (Wine keeps the name of
// a job that once held a process; Windows removes it with the last handle).
// A job that never held one is another run's about to start its utility, or
// one whose utility could not join it.
bool FlashOver(HANDLE job)
{
    JOBOBJECT_BASIC_ACCOUNTING_INFORMATION counts = {};
    return QueryInformationJobObject(job, JobObjectBasicAccountingInformation, &counts, sizeof counts, nullptr) &&
           counts.ActiveProcesses == 0 && counts.TotalProcesses != 0;
}

// Whether what a name gave (a handle, or the error of a call that gave none)
// is a user's: an object of another's, or one this administrator may not
// open, which no kestrel makes. Nothing of that name is none.
bool Foreign(HANDLE object) { return object ? !OwnedByAdministrators(object) : GetLastError() != ERROR_FILE_NOT_FOUND; }

}  // namespace

FlashJob::State FlashJob::Squat(const wchar_t* name, HANDLE found)
{
    squatter_ = OwnerSid(found);
    // An object of another kind gives no handle as a mutex or a job: each
    // kind a user may make under a global name is asked for its owner alone
    // (a file mapping's takes SeCreateGlobalPrivilege, which users lack).
    using OpenFunction = HANDLE(WINAPI*)(DWORD, BOOL, LPCWSTR);
    for (const OpenFunction open : {OpenMutexW, OpenEventW, OpenJobObjectW, OpenSemaphoreW, OpenWaitableTimerW}) {
        if (!squatter_.empty()) break;
        const Handle object(open(READ_CONTROL, FALSE, name));
        squatter_ = OwnerSid(object.get());
    }
    return State::Squatted;
}

FlashLock FlashJob::Peek()
{
    if (!RunsAsAdministrator()) return FlashLock::NoRights;
    const Handle start(OpenMutexW(READ_CONTROL, FALSE, kFlashStartName));
    if (Foreign(start.get())) state_ = Squat(kFlashStartName, start.get());
    const Handle job(OpenJobObjectW(JOB_OBJECT_QUERY | READ_CONTROL, FALSE, kFlashLockName));
    if (state_ == State::Untried && Foreign(job.get())) state_ = Squat(kFlashLockName, job.get());
    if (state_ == State::Squatted) return FlashLock::Squatted;
    return job && !FlashOver(job.get()) ? FlashLock::FlashRunning : FlashLock::Held;
}

FlashLock FlashJob::Take()
{
    if (state_ == State::Untried) state_ = TakeOnce();
    // Only a run whose flash may start keeps the others waiting.
    if (state_ != State::Held) EndStart();
    switch (state_) {
    case State::Running: return FlashLock::FlashRunning;
    case State::NoRights: return FlashLock::NoRights;
    case State::Squatted: return FlashLock::Squatted;
    case State::Held:
    case State::Untried: break;
    }
    return FlashLock::Held;
}

FlashJob::State FlashJob::TakeOnce()
{
    if (!RunsAsAdministrator()) return State::NoRights;
    // Owned by the Administrators group, which an elevated administrator's
    // token and SYSTEM's both hold as a group they may make an object's
    // owner; nobody else may open either, and nothing is inherited into it.
    const SecurityDescriptor sd("O:BAD:P(A;;GA;;;SY)(A;;GA;;;BA)");
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, sd.get(), FALSE};
    // One run at a time from here to its utility's holding the lock: two
    // runs that both found the lock over would both take it. A start that
    // another run holds longer than this run waits is a flash starting; one
    // left by a run that was ended passes to this run (WAIT_ABANDONED). A
    // user's object of either name, or a name this run cannot make its own,
    // fails closed: a flash refused can be run again, two cannot be undone.
    Handle start(sd.get() ? CreateMutexW(&attributes, FALSE, kFlashStartName) : nullptr);
    if (!start || !OwnedByAdministrators(start.get())) return Squat(kFlashStartName, start.get());
    const DWORD waited = WaitForSingleObject(start.get(), startWaitMs_);
    if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) return State::Running;
    start_ = std::move(start);
    // Given a handle to a job of the lock's name that was there before: an
    // administrator's is another flash unless it is over.
    const HANDLE job = CreateJobObjectW(&attributes, kFlashLockName);
    const bool existed = job && GetLastError() == ERROR_ALREADY_EXISTS;
    Handle named(job);
    if (!named || (existed && !OwnedByAdministrators(named.get()))) return Squat(kFlashLockName, named.get());
    if (existed && !FlashOver(named.get())) return State::Running;
    job_ = std::move(named);
    // The job tells its port when its last process has ended, before any
    // process of another run's can join it: this run's wait is for its own
    // flash alone. A job one run has linked to a port takes no other port;
    // a run that takes over such a job counts its processes instead.
    port_ = Handle(CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 1));
    JOBOBJECT_ASSOCIATE_COMPLETION_PORT link = {nullptr, port_.get()};
    if (port_ && !SetInformationJobObject(job_.get(), JobObjectAssociateCompletionPortInformation, &link, sizeof link))
        port_.Close();
    return State::Held;
}

void FlashJob::Share(HANDLE process, DWORD id)
{
    // Known by its id and its start (FlashMembers).
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) return;
    const std::uint64_t start = (std::uint64_t(created.dwHighDateTime) << 32) | created.dwLowDateTime;
    if (shared_.Holds(id, start)) return;
    // The lock's handle in the process's own table: it lives as long as the
    // process does, and passes to the processes it starts that inherit its
    // handles. Query access is all it needs.
    HANDLE copy = nullptr;
    if (DuplicateHandle(GetCurrentProcess(), job_.get(), process, &copy, JOB_OBJECT_QUERY, TRUE, 0))
        shared_.Add(id, start);
}

void FlashJob::EndWithKestrel(bool end)
{
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags = end ? JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE : 0;
    SetInformationJobObject(job_.get(), JobObjectExtendedLimitInformation, &limits, sizeof limits);
}

bool FlashJob::Join(HANDLE process)
{
    if (state_ != State::Held || !job_) return false;
    // Until it holds its own handle, kestrel's is the only one: should
    // kestrel be ended now, the job goes and takes the utility with it,
    // before it has done anything, rather than leave it suspended and
    // holding the lock for ever.
    EndWithKestrel(true);
    holdsUtility_ = AssignProcessToJobObject(job_.get(), process) != FALSE;
    return holdsUtility_;
}

void FlashJob::Hold(HANDLE process, DWORD id)
{
    if (state_ != State::Held || !job_) return;
    Share(process, id);
    EndWithKestrel(false);
    EndStart();
}

void FlashJob::EndStart()
{
    if (start_) ReleaseMutex(start_.get());
    start_.Close();
}

// Hands the lock to each process in the job that has not got it, however
// many; returns how many processes the job holds, 0 when it cannot tell.
DWORD FlashJob::ShareLockWithMembers()
{
    // The list's head (two counts) in the first two places, the ids after:
    // made larger until every process is in it. Windows says a list too
    // short with ERROR_MORE_DATA, Wine with a success: both give the counts.
    std::unique_ptr<ULONG_PTR[]> room;
    JOBOBJECT_BASIC_PROCESS_ID_LIST* list = nullptr;
    for (DWORD ids = 64;; ids = list->NumberOfAssignedProcesses + 16) {
        room.reset(new ULONG_PTR[2 + ids]);
        list = reinterpret_cast<JOBOBJECT_BASIC_PROCESS_ID_LIST*>(room.get());
        if (!QueryInformationJobObject(job_.get(), JobObjectBasicProcessIdList, list,
                                       (2 + ids) * DWORD(sizeof(ULONG_PTR)), nullptr) &&
            GetLastError() != ERROR_MORE_DATA)
            return 0;
        if (list->NumberOfProcessIdsInList >= list->NumberOfAssignedProcesses) break;
    }
    for (DWORD i = 0; i < list->NumberOfProcessIdsInList; ++i) {
        const DWORD id = DWORD(list->ProcessIdList[i]);
        // The id is the one of a process of the job only while it runs: the
        // process it opens must be in the job still.
        const Handle process(OpenProcess(PROCESS_DUP_HANDLE | PROCESS_QUERY_INFORMATION, FALSE, id));
        BOOL member = FALSE;
        if (process && IsProcessInJob(process.get(), job_.get(), &member) && member) Share(process.get(), id);
    }
    return list->NumberOfAssignedProcesses;
}

bool FlashJob::Emptied()
{
    DWORD message = 0;
    ULONG_PTR key = 0;
    LPOVERLAPPED overlapped = nullptr;
    while (port_ && GetQueuedCompletionStatus(port_.get(), &message, &key, &overlapped, 0))
        if (message == JOB_OBJECT_MSG_ACTIVE_PROCESS_ZERO) return true;
    return false;
}

bool FlashJob::Wait(HANDLE utility, DWORD limitMs)
{
    // GetTickCount wraps after 49 days; the difference does not.
    const DWORD start = GetTickCount();
    for (;;) {
        if (holdsUtility_) {
            if (Emptied() || ShareLockWithMembers() == 0) return true;
        } else if (!utility || WaitForSingleObject(utility, 0) != WAIT_TIMEOUT) {
            return true;
        }
        if (limitMs != 0 && GetTickCount() - start >= limitMs) return false;
        // This thread is in a single-threaded apartment, which has a hidden
        // window that others' broadcasts wait on: such a thread must keep
        // processing messages, and should wait with MsgWaitForMultipleObjects
        // and dispatch them rather than with WaitForSingleObject (Microsoft,
        // "Hints and Tips", TAPI 3). A job signals nothing when its last
        // process ends, so it is looked at again every tenth of a second.
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
}

AgentJob AgentJobOfThisProcess()
{
    BOOL inJob = FALSE;
    if (!IsProcessInJob(GetCurrentProcess(), nullptr, &inJob) || !inJob) return AgentJob::None;
    // "If the calling process is associated with a job, the job must set the
    // JOB_OBJECT_LIMIT_BREAKAWAY_OK limit" (CREATE_BREAKAWAY_FROM_JOB,
    // Process Creation Flags, Microsoft Learn); with SILENT_BREAKAWAY_OK its
    // children are outside it anyway. A job that cannot be asked is tried.
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    if (QueryInformationJobObject(nullptr, JobObjectExtendedLimitInformation, &limits, sizeof limits, nullptr) &&
        !(limits.BasicLimitInformation.LimitFlags &
          (JOB_OBJECT_LIMIT_BREAKAWAY_OK | JOB_OBJECT_LIMIT_SILENT_BREAKAWAY_OK)))
        return AgentJob::Kept;
    return AgentJob::Left;
}

bool OnBatteryPower(BYTE acLineStatus, BYTE batteryFlag)
{
    constexpr BYTE kNoBattery = 128, kUnknown = 255;
    return acLineStatus == 0 && batteryFlag != kNoBattery && batteryFlag != kUnknown;
}

BatteryCharge ChargeOf(BYTE batteryFlag, BYTE lifePercent)
{
    constexpr BYTE kNoBattery = 128, kUnknown = 255;
    if (batteryFlag == kNoBattery) return {.battery = false, .percent = {}};
    if (batteryFlag == kUnknown || lifePercent > 100) return {};
    return {.battery = true, .percent = lifePercent};
}

}  // namespace kestrel
