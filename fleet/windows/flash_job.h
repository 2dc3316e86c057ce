// The processes of a flash held together in a job object, and the machine's
// flash lock that they keep.
//
// The lock is the job itself, named in the global namespace so that every
// session sees it. A named object lives while someone holds a handle to it:
// kestrel holds one, the utility gets one before it runs, and while kestrel
// waits, every process the flash starts gets one too. So the lock outlives a
// kestrel that ends or is killed, for as long as any process of the flash
// that holds it lives, and goes with the last of them: no lock is ever left
// behind by a flash that is over.
//
// Only an administrator (or SYSTEM) makes the lock, owned by the
// Administrators group, and only administrators and SYSTEM may open it: a
// standard user can neither hold it open nor make one that counts. An object
// of the lock's names that no administrator made (a mutex, an event or a job
// made first, which takes the name without any privilege: every named kernel
// object shares one namespace) is a user's squatting on it: nothing can be
// told of another flash then, and none starts until it has gone.
//
// A private namespace (Vista and later) would keep the name itself from
// others, but it is tied to the process that made it: "The handle is also
// closed when the creating process terminates. After the namespace handle is
// closed, subsequent calls to OpenPrivateNamespace fail" (Microsoft,
// CreatePrivateNamespaceW). A killed kestrel would take its flash's lock
// with it.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "../fleet.h"
#include "handle.h"

namespace kestrel {

// The lock's name. Its objects are job objects.
inline constexpr wchar_t kFlashLockName[] = L"Global\\kestrel-flash-job";
// The start's: a mutex that one run at a time holds from its look at the
// lock until its utility holds it, made and owned as the lock is.
inline constexpr wchar_t kFlashStartName[] = L"Global\\kestrel-flash-start";

class FlashJob {
public:
    // `startWaitMs`: how long a run waits for another run's start.
    explicit FlashJob(DWORD startWaitMs) : startWaitMs_(startWaitMs) {}
    ~FlashJob() { EndStart(); }
    FlashJob(const FlashJob&) = delete;
    FlashJob& operator=(const FlashJob&) = delete;

    // What Take would find, without taking anything.
    FlashLock Peek();
    // Takes the lock, once; later calls answer as the first one did. An
    // administrator's run holds the start from here until Hold (or its
    // end), so that no two runs decide on the lock at once.
    FlashLock Take();
    // Squatted: the owner's SID of the object found, when it could be read.
    const std::string& squatter() const { return squatter_; }
    // Puts the utility, started suspended, in the job before it runs; the
    // job ends it should kestrel end before Hold. False when the job cannot
    // hold it (Windows 7 and earlier: a process in another job, an agent's
    // that allows no breakaway, cannot be in a second one), which leaves the
    // process to keep the lock alone.
    bool Join(HANDLE process);
    // Once the utility runs: it gets its own handle to the lock, the job no
    // longer ends it with kestrel, and the start is let go of.
    void Hold(HANDLE process, DWORD id);
    // Waits until every process in the job has ended, or, when the job
    // does not hold `utility`, until it has; messages are answered while it
    // waits, and each new process of the flash gets its handle to the lock.
    // False when `limitMs` (unless 0) passed first: the flash goes on.
    bool Wait(HANDLE utility, DWORD limitMs);
    // Lets go of this run's handle and of the start once its part is done
    // (its flash over, or nothing started), so that another run is not kept
    // waiting or told of a flash while this one writes its log.
    void Release()
    {
        job_.Close();
        EndStart();
    }
    bool held() const { return state_ == State::Held; }

private:
    enum class State { Untried, Held, Running, NoRights, Squatted };
    State TakeOnce();
    // An object of the lock's name `name` that no administrator made:
    // `found` where this run got a handle to it.
    State Squat(const wchar_t* name, HANDLE found);
    void Share(HANDLE process, DWORD id);
    DWORD ShareLockWithMembers();
    // Whether the job has told its port that its last process has ended.
    bool Emptied();
    // Whether the job ends its processes when its last handle goes.
    void EndWithKestrel(bool end);
    void EndStart();

    DWORD startWaitMs_;
    State state_ = State::Untried;
    Handle start_;  // the start's mutex, while this run holds it
    Handle job_;
    Handle port_;  // the job's messages, where this run could ask for them
    bool holdsUtility_ = false;
    FlashMembers shared_;  // the processes that have their handle
    std::string squatter_;
};

// Where the utility will run with respect to a job that this process is in
// (an agent's): it breaks away where that job allows it.
AgentJob AgentJobOfThisProcess();

// GetSystemPowerStatus's answer as "on battery": the mains are off
// (ACLineStatus 0) and a battery is there (BatteryFlag neither 128, "no
// system battery", nor 255, "unknown status").
bool OnBatteryPower(BYTE acLineStatus, BYTE batteryFlag);

// The same answer as a battery's charge: none for BatteryFlag 128 ("no
// system battery"); a charge unknown for BatteryFlag 255 ("unable to read
// the battery flag information") or a BatteryLifePercent outside 0 to 100
// (255: "status is unknown"); else that percentage (SYSTEM_POWER_STATUS,
// Microsoft Learn).
BatteryCharge ChargeOf(BYTE batteryFlag, BYTE lifePercent);

}  // namespace kestrel
