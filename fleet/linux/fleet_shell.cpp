#include "fleet_shell.h"

#include <fcntl.h>
#include <poll.h>
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

#include "utf8.h"
#include "log_file.h"
#include "program_file.h"

namespace kestrel {

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
