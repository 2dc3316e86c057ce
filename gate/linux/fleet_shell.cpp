#include "fleet_shell.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <optional>
#include <string>

#include "../log_tail.h"
#include "../utf8.h"

namespace kestrel {

namespace {

bool WriteAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// How long a writer waits for another to finish its line: the lock is tried
// every kLockPauseNanoseconds, kLockTries times: about two seconds. A writer
// holds it for a few system calls; one that holds it longer has stopped,
// and the run must not wait on it for ever.
constexpr int kLockTries = 100;
constexpr long kLockPauseNanoseconds = 20'000'000;

bool LockAlone(int fd)
{
    for (int tried = 1;; ++tried) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return true;
        if ((errno != EWOULDBLOCK && errno != EINTR) || tried == kLockTries) return false;
        timespec pause{0, kLockPauseNanoseconds};
        while (::nanosleep(&pause, &pause) != 0 && errno == EINTR) {
        }
    }
}

// Appends `line` to the log open as `fd`, which this run holds alone: first
// cuts off a fragment an earlier write left at the end, and when this write
// fails part-way (a full disk) cuts the file back to where the line began.
bool AppendWholeLine(int fd, std::string_view line)
{
    struct stat file {};
    if (::fstat(fd, &file) != 0 || file.st_size < 0) return false;
    const auto size = static_cast<std::uint64_t>(file.st_size);
    char tail[kLogTailBytes];
    const std::size_t wanted = size < sizeof tail ? static_cast<std::size_t>(size) : sizeof tail;
    for (std::size_t got = 0; got < wanted;) {
        const ssize_t n = ::pread(fd, tail + got, wanted - got, static_cast<off_t>(size - wanted + got));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        got += static_cast<std::size_t>(n);
    }
    const LogMend mend = MendLogTail(std::string_view(tail, wanted), size);
    const auto start = static_cast<off_t>(mend.keep);
    if (mend.keep != size && ::ftruncate(fd, start) != 0) return false;
    if ((!mend.newline || WriteAll(fd, "\n")) && WriteAll(fd, line)) return true;
    // Should this fail too, the next writer cuts off what is left.
    [[maybe_unused]] const int takenBack = ::ftruncate(fd, start);
    return false;
}

// The first line of a small attribute file in `folder`/`entry`, at most
// 31 bytes; false when it is not a regular file or cannot be read.
bool ReadAttribute(const char* folder, const char* entry, const char* name, std::string& text)
{
    char path[PATH_MAX];
    const int length = std::snprintf(path, sizeof path, "%s/%s/%s", folder, entry, name);
    if (length < 0 || static_cast<std::size_t>(length) >= sizeof path) return false;
    const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return false;
    struct stat file {};
    char bytes[32];
    ssize_t n = -1;
    if (::fstat(fd, &file) == 0 && S_ISREG(file.st_mode)) {
        do n = ::read(fd, bytes, sizeof bytes);
        while (n < 0 && errno == EINTR);
    }
    ::close(fd);
    if (n < 0 || static_cast<std::size_t>(n) == sizeof bytes) return false;
    text.assign(bytes, static_cast<std::size_t>(n));
    if (const std::size_t end = text.find('\n'); end != std::string::npos) text.resize(end);
    return true;
}

// A whole percentage from 0 to 100 in ASCII digits.
std::optional<unsigned> Percentage(std::string_view digits)
{
    if (digits.empty() || digits.size() > 3) return std::nullopt;
    unsigned percent = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9') return std::nullopt;
        percent = percent * 10 + unsigned(c - '0');
    }
    if (percent > 100) return std::nullopt;
    return percent;
}

}  // namespace

BatteryCharge ReadBatteryCharge(const char* folder)
{
    DIR* supplies = ::opendir(folder);
    if (!supplies) return {};
    BatteryCharge charge{.battery = false, .percent = {}};
    bool unknown = false;
    std::string type, present, scope, capacity;
    errno = 0;
    while (const dirent* entry = ::readdir(supplies)) {
        if (entry->d_name[0] == '.') continue;
        if (!ReadAttribute(folder, entry->d_name, "type", type)) {
            unknown = true;
        } else if (type == "Battery" && !(ReadAttribute(folder, entry->d_name, "present", present) && present == "0") &&
                   !(ReadAttribute(folder, entry->d_name, "scope", scope) && scope == "Device")) {
            charge.battery = true;
            const auto percent =
                ReadAttribute(folder, entry->d_name, "capacity", capacity) ? Percentage(capacity) : std::nullopt;
            if (!percent) unknown = true;
            else if (!charge.percent || *percent < *charge.percent) charge.percent = percent;
        }
        errno = 0;
    }
    // A listing cut short may have left a battery out.
    if (errno != 0) unknown = true;
    ::closedir(supplies);
    if (unknown) return {};
    return charge;
}

std::u16string Ascii(std::string_view text)
{
    std::u16string out;
    for (const char c : text) out += static_cast<unsigned char>(c) < 0x80 ? char16_t(c) : u'\uFFFD';
    return out;
}

UtilityEnd LinuxFleetShell::Launch(std::u16string_view fileName, int, bool wait, unsigned timeoutMinutes, bool)
{
    UtilityEnd end;
    // A process the utility leaves behind goes to the nearest reaper among
    // its forebears, and with this one that is kestrel (PR_SET_CHILD_SUBREAPER,
    // prctl(2)): kestrel has no other children, so the flash has ended when
    // none is left. A wait that cannot see them would end too early, and
    // nothing is started.
    if (wait && ::prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0) != 0) return end;
    pid_t child = 0;
    end.started = Spawn(programDir_, fileName, arguments_, &child);
    if (!end.started || !wait) return end;
    timespec start{};
    ::clock_gettime(CLOCK_MONOTONIC, &start);
    for (;;) {
        int status = 0;
        const pid_t got = ::waitpid(-1, &status, timeoutMinutes != 0 ? WNOHANG : 0);
        if (got < 0 && errno == EINTR) continue;
        // ECHILD: the last process of the flash has been reaped.
        if (got < 0) break;
        // Killed by a signal: no status of its own. Once it has been reaped,
        // a later process of the flash may be given its number again.
        if (got == child && child != 0) {
            if (WIFEXITED(status)) end.status = static_cast<std::uint32_t>(WEXITSTATUS(status));
            child = 0;
        }
        if (got > 0) continue;
        // None has ended: looked at again every tenth of a second until the
        // time is up. The flash goes on without kestrel.
        timespec now{};
        ::clock_gettime(CLOCK_MONOTONIC, &now);
        if (now.tv_sec - start.tv_sec >= static_cast<time_t>(timeoutMinutes) * 60) {
            end.timedOut = true;
            end.status.reset();
            break;
        }
        timespec pause{0, 100'000'000};
        while (::nanosleep(&pause, &pause) != 0 && errno == EINTR) {
        }
    }
    return end;
}

bool LinuxFleetShell::UtilityPresent(std::u16string_view fileName)
{
    char path[PATH_MAX];
    struct stat file {};
    return UtilityPath(programDir_, fileName, path) && ::stat(path, &file) == 0 && S_ISREG(file.st_mode) &&
           ::access(path, X_OK) == 0;
}

void LinuxFleetShell::TellUsage(std::u16string_view text, bool error)
{
    std::string line;
    ForEachUtf8(text, [&line](const char* bytes, std::size_t n) { line.append(bytes, n); });
    line += '\n';
    static_cast<void>(WriteAll(error ? STDERR_FILENO : STDOUT_FILENO, line));
}

RunFacts LinuxFleetShell::Facts()
{
    RunFacts facts;
    facts.ticks = Ticks();
    // A process's id and the time in nanoseconds tell this run from any other.
    timespec clock{};
    ::clock_gettime(CLOCK_REALTIME, &clock);
    facts.run =
        RunId(std::uint32_t(::getpid()), std::uint64_t(clock.tv_sec) * 1000000000u + std::uint64_t(clock.tv_nsec));
    const std::time_t now = clock.tv_sec;
    std::tm local{};
    char time[40];
    // strftime's %z is "+0100": the colon goes in for ISO 8601.
    if (localtime_r(&now, &local) && std::strftime(time, sizeof time, "%Y-%m-%dT%H:%M:%S%z", &local) == 24) {
        facts.started.assign(time, 22);
        facts.started += ':';
        facts.started.append(time + 22, 2);
    }
    char host[256] = {};
    if (::gethostname(host, sizeof host - 1) == 0) facts.computer = Ascii(host);
    facts.account = u"uid " + Ascii(std::to_string(::getuid()));
    const pid_t session = ::getsid(0);
    if (session >= 0) facts.session = static_cast<std::uint32_t>(session);
    return facts;
}

std::uint32_t LinuxFleetShell::Ticks()
{
    timespec clock{};
    ::clock_gettime(CLOCK_MONOTONIC, &clock);
    return std::uint32_t(std::uint64_t(clock.tv_sec) * 1000u + std::uint64_t(clock.tv_nsec) / 1000000u);
}

bool LinuxFleetShell::AppendLog(std::string_view line)
{
    if (!log_) return true;
    // Read as well as written: the end is read to mend it. No symbolic link
    // is followed, and nothing waits in open(): a FIFO nobody reads would
    // block it, and a device might. A second name would let the line land
    // in a file that is known by another.
    const int fd = ::open(log_, O_RDWR | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0600);
    if (fd < 0) return false;
    struct stat file {};
    const bool whole = ::fstat(fd, &file) == 0 && S_ISREG(file.st_mode) && file.st_nlink == 1 && LockAlone(fd) &&
                       AppendWholeLine(fd, line);
    // Closing the file releases the lock.
    return ::close(fd) == 0 && whole;
}

}  // namespace kestrel
