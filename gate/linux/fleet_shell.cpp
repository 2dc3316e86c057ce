#include "fleet_shell.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <optional>
#include <string>

#include "../log_tail.h"
#include "../utf8.h"
#include "program_file.h"

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

// Opens `path` as open(2) would with `flags` and `mode`, but refuses a
// symbolic link anywhere on it: each folder is opened on its own, from the
// root (or the current folder, for a relative path) down, none followed
// (O_NOFOLLOW), so that a link a user made where the log's folder was meant
// to be cannot send the line into another file. -1 when refused.
int OpenWithoutLinks(const char* path, int flags, mode_t mode)
{
    int folder = path[0] == '/' ? ::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC) : AT_FDCWD;
    if (folder == -1) return -1;
    const char* name = path;
    for (;;) {
        while (*name == '/') ++name;
        const char* slash = std::strchr(name, '/');
        if (!slash) break;
        // A folder's name, then more of the path: it must not be a link.
        char part[NAME_MAX + 1];
        const std::size_t size = static_cast<std::size_t>(slash - name);
        int next = -1;
        if (size <= NAME_MAX) {
            std::memcpy(part, name, size);
            part[size] = '\0';
            next = ::openat(folder, part, O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        }
        if (folder != AT_FDCWD) ::close(folder);
        if (next == -1) return -1;
        folder = next;
        name = slash;
    }
    // No name at the end ("logs/"): no file.
    const int fd = *name ? ::openat(folder, name, flags | O_NOFOLLOW | O_CLOEXEC, mode) : -1;
    if (folder != AT_FDCWD) ::close(folder);
    return fd;
}

// Appends `line` to the log open as `fd`, which this run holds alone: after
// a line feed when the log does not end in one (nothing another writer left
// is taken away), and when this write fails part-way (a full disk) the file
// is cut back to where this run began to write.
bool AppendWholeLine(int fd, std::string_view line)
{
    struct stat file {};
    if (::fstat(fd, &file) != 0 || file.st_size < 0) return false;
    const auto size = static_cast<off_t>(file.st_size);
    char last = 0;
    if (size > 0) {
        ssize_t n = 0;
        do n = ::pread(fd, &last, 1, size - 1);
        while (n < 0 && errno == EINTR);
        if (n != 1) return false;
    }
    if ((!LineFeedFirst(std::string_view(&last, size > 0 ? 1 : 0)) || WriteAll(fd, "\n")) && WriteAll(fd, line))
        return true;
    // Should this fail too, the next writer's line starts on a line of its own.
    [[maybe_unused]] const int takenBack = ::ftruncate(fd, size);
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

namespace {

// Whether programDir/fileName is a regular file this account may run and the
// kernel can start (ReadProgramFile), with its interpreter, if it names
// one, there to be run too. A relative interpreter is looked for in the
// program's folder, the utility's working folder.
bool StartableUtility(const char* programDir, std::u16string_view fileName)
{
    char path[PATH_MAX];
    if (!UtilityPath(programDir, fileName, path) || ::access(path, X_OK) != 0) return false;
    const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat file {};
    char head[kProgramHeadBytes];
    ssize_t got = -1;
    if (::fstat(fd, &file) == 0 && S_ISREG(file.st_mode)) {
        do got = ::pread(fd, head, sizeof head, 0);
        while (got < 0 && errno == EINTR);
    }
    ::close(fd);
    if (got < 0) return false;
    const ProgramFile program = ReadProgramFile(std::string_view(head, static_cast<std::size_t>(got)),
                                                static_cast<std::uint64_t>(file.st_size));
    if (!program.startable) return false;
    if (program.interpreter.empty()) return true;
    char interpreter[PATH_MAX];
    std::size_t used = 0;
    if (program.interpreter[0] != '/') {
        used = std::strlen(programDir);
        if (used + 1 >= sizeof interpreter) return false;
        std::memcpy(interpreter, programDir, used);
        interpreter[used++] = '/';
    }
    if (program.interpreter.size() >= sizeof interpreter - used) return false;
    std::memcpy(interpreter + used, program.interpreter.data(), program.interpreter.size());
    interpreter[used + program.interpreter.size()] = '\0';
    struct stat runs {};
    return ::stat(interpreter, &runs) == 0 && S_ISREG(runs.st_mode) && ::access(interpreter, X_OK) == 0;
}

// What the keeper of a waited flash tells kestrel through its pipe: first
// whether the utility started, then, once the last process of the flash has
// ended, the utility's status or that it had none (a signal ended it).
constexpr char kStarted = 'S', kNotStarted = 'F', kEndedWithStatus = 'E', kEndedWithout = 'N';

// The keeper: a process of kestrel's own, in a session of its own, the
// reaper of every process the utility leaves behind (PR_SET_CHILD_SUBREAPER,
// prctl(2)), and with no other children: so the flash has ended when none is
// left, whatever children kestrel itself was given by the program that
// started it (a shell that ran it through exec). It outlives kestrel when
// kestrel stops waiting or is ended. Returns the keeper's exit status.
int KeepFlash(int report, const char* programDir, std::u16string_view fileName, const char* const* arguments)
{
    pid_t child = 0;
    const bool started = ::setsid() >= 0 && ::prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0) == 0 &&
                         Spawn(programDir, fileName, arguments, &child);
    if (!WriteAll(report, std::string_view(started ? &kStarted : &kNotStarted, 1)) || !started) return 0;
    char end[5] = {kEndedWithout};
    for (;;) {
        int status = 0;
        const pid_t got = ::waitpid(-1, &status, 0);
        if (got < 0 && errno == EINTR) continue;
        // ECHILD: the last process of the flash has been reaped.
        if (got < 0) break;
        // Once reaped, a later process of the flash may get its number.
        if (got == child && child != 0) {
            if (WIFEXITED(status)) {
                end[0] = kEndedWithStatus;
                end[1] = static_cast<char>(WEXITSTATUS(status));
            }
            child = 0;
        }
    }
    static_cast<void>(WriteAll(report, std::string_view(end, 2)));
    return 0;
}

// Reads one byte from `fd` within `milliseconds` (-1: no limit); 0 when
// the time passed, -1 at the end of the pipe or on a failure.
int ReadByte(int fd, int milliseconds, char& byte)
{
    pollfd wanted{fd, POLLIN, 0};
    const int ready = ::poll(&wanted, 1, milliseconds);
    if (ready == 0) return 0;
    if (ready < 0) return errno == EINTR ? 0 : -1;
    const ssize_t n = ::read(fd, &byte, 1);
    if (n < 0 && errno == EINTR) return 0;
    return n == 1 ? 1 : -1;
}

std::int64_t MonotonicMilliseconds()
{
    timespec clock{};
    ::clock_gettime(CLOCK_MONOTONIC, &clock);
    return std::int64_t(clock.tv_sec) * 1000 + clock.tv_nsec / 1000000;
}

}  // namespace

UtilityEnd LinuxFleetShell::Launch(std::u16string_view fileName, int, bool wait, unsigned timeoutMinutes, bool)
{
    UtilityEnd end;
    // What --check says of the file, the run finds too.
    if (!StartableUtility(programDir_, fileName)) return end;
    if (!wait) {
        end.started = Spawn(programDir_, fileName, arguments_, nullptr);
        return end;
    }
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) return end;
    const pid_t keeper = ::fork();
    if (keeper == 0) {
        ::close(report[0]);
        ::_exit(KeepFlash(report[1], programDir_, fileName, arguments_));
    }
    ::close(report[1]);
    char said = 0;
    // The keeper answers as soon as the spawn has: no limit is needed.
    int got = 0;
    while (keeper > 0 && (got = ReadByte(report[0], -1, said)) == 0) {
    }
    end.started = keeper > 0 && got == 1 && said == kStarted;
    if (!end.started) {
        ::close(report[0]);
        if (keeper > 0) ::waitpid(keeper, nullptr, 0);
        return end;
    }
    const std::int64_t limit = std::int64_t(timeoutMinutes) * 60000, start = MonotonicMilliseconds();
    for (;;) {
        const std::int64_t left = limit - (MonotonicMilliseconds() - start);
        if (timeoutMinutes != 0 && left <= 0) {
            // The flash goes on with its keeper; kestrel stops waiting.
            end.timedOut = true;
            break;
        }
        got = ReadByte(report[0], timeoutMinutes != 0 ? static_cast<int>(left) : -1, said);
        if (got == 0) continue;
        // The keeper's end without a word (it was ended): no status.
        if (got < 0 || said != kEndedWithStatus) break;
        char status = 0;
        while ((got = ReadByte(report[0], -1, status)) == 0) {
        }
        if (got == 1) end.status = static_cast<unsigned char>(status);
        break;
    }
    ::close(report[0]);
    if (!end.timedOut) ::waitpid(keeper, nullptr, 0);
    return end;
}

bool LinuxFleetShell::UtilityPresent(std::u16string_view fileName) { return StartableUtility(programDir_, fileName); }

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
    // is followed, on the way or at its end, and nothing waits in open(): a
    // FIFO nobody reads would block it, and a device might. A second name
    // would let the line land in a file that is known by another.
    const int fd = OpenWithoutLinks(log_, O_RDWR | O_APPEND | O_CREAT | O_NONBLOCK | O_NOCTTY, 0600);
    if (fd < 0) return false;
    struct stat file {};
    // A run as root writes only to root's log: one that another account
    // made first, where it may make files, would have lines it could fake.
    const bool whole = ::fstat(fd, &file) == 0 && S_ISREG(file.st_mode) && file.st_nlink == 1 &&
                       (::geteuid() != 0 || file.st_uid == 0) && LockAlone(fd) && AppendWholeLine(fd, line);
    // Closing the file releases the lock.
    return ::close(fd) == 0 && whole;
}

}  // namespace kestrel
