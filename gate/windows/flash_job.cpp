#include "flash_job.h"

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

}  // namespace

FlashLock FlashJob::Peek() const
{
    if (!RunsAsAdministrator()) return FlashLock::NoRights;
    const Handle job(OpenJobObjectW(JOB_OBJECT_QUERY | READ_CONTROL, FALSE, kFlashLockName));
    return job && OwnedByAdministrators(job.get()) && !FlashOver(job.get()) ? FlashLock::FlashRunning : FlashLock::Held;
}

FlashLock FlashJob::Take()
{
    if (state_ == State::Untried) state_ = TakeOnce();
    // Only a run whose flash may start keeps the others waiting.
    if (state_ != State::Held) EndStart();
    switch (state_) {
    case State::Running: return FlashLock::FlashRunning;
    case State::NoRights: return FlashLock::NoRights;
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
    // a squatter made (no administrator owns it) is passed by, as the lock's
    // name is; one left by a run that was ended passes to this run
    // (WAIT_ABANDONED).
    Handle start(sd.get() ? CreateMutexW(&attributes, FALSE, kFlashStartName) : nullptr);
    if (start && OwnedByAdministrators(start.get())) {
        const DWORD waited = WaitForSingleObject(start.get(), startWaitMs_);
        if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) return State::Running;
        start_ = std::move(start);
    }
    const HANDLE job = sd.get() ? CreateJobObjectW(&attributes, kFlashLockName) : nullptr;
    // Given a handle to a job of the lock's name that was there before: an
    // administrator's is another flash, anything else a squatter's. No
    // handle at all (an object of another kind, or one this administrator
    // may not open, which no kestrel makes) is a squatter's too.
    const bool existed = job && GetLastError() == ERROR_ALREADY_EXISTS;
    Handle named(job);
    if (named && !existed) {
        job_ = std::move(named);
        return State::Held;
    }
    if (named && OwnedByAdministrators(named.get())) {
        if (!FlashOver(named.get())) return State::Running;
        job_ = std::move(named);
        return State::Held;
    }
    job_ = Handle(CreateJobObjectW(nullptr, nullptr));
    return State::Held;
}

void FlashJob::Share(HANDLE process, DWORD id)
{
    if (sharedCount_ == sizeof shared_ / sizeof shared_[0]) return;
    // The lock's handle in the process's own table: it lives as long as the
    // process does, and passes to the processes it starts that inherit its
    // handles. Query access is all it needs.
    HANDLE copy = nullptr;
    if (DuplicateHandle(GetCurrentProcess(), job_.get(), process, &copy, JOB_OBJECT_QUERY, TRUE, 0))
        shared_[sharedCount_++] = id;
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

// Hands the lock to each process in the job that has not got it; returns
// how many processes the job holds, 0 when it cannot tell.
DWORD FlashJob::ShareLockWithMembers()
{
    struct {
        JOBOBJECT_BASIC_PROCESS_ID_LIST head;
        ULONG_PTR more[63];
    } list = {};
    // With more processes than that, the call says so and lists the first.
    if (!QueryInformationJobObject(job_.get(), JobObjectBasicProcessIdList, &list, sizeof list, nullptr) &&
        GetLastError() != ERROR_MORE_DATA)
        return 0;
    for (DWORD i = 0; i < list.head.NumberOfProcessIdsInList && i < 64; ++i) {
        const DWORD id = DWORD(list.head.ProcessIdList[i]);
        bool known = false;
        for (std::size_t k = 0; k < sharedCount_; ++k) known = known || shared_[k] == id;
        if (known) continue;
        const Handle process(OpenProcess(PROCESS_DUP_HANDLE, FALSE, id));
        if (process) Share(process.get(), id);
    }
    return list.head.NumberOfAssignedProcesses;
}

bool FlashJob::Wait(HANDLE utility, DWORD limitMs)
{
    // GetTickCount wraps after 49 days; the difference does not.
    const DWORD start = GetTickCount();
    for (;;) {
        if (holdsUtility_) {
            if (ShareLockWithMembers() == 0) return true;
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
