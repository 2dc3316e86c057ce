#include "fleet_shell.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

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

}  // namespace

std::u16string Ascii(std::string_view text)
{
    std::u16string out;
    for (const char c : text) out += static_cast<unsigned char>(c) < 0x80 ? char16_t(c) : u'\uFFFD';
    return out;
}

UtilityEnd LinuxFleetShell::Launch(std::u16string_view fileName, int, bool wait)
{
    UtilityEnd end;
    pid_t child = 0;
    end.started = Spawn(programDir_, fileName, arguments_, &child);
    if (!end.started || !wait) return end;
    int status = 0;
    pid_t got = 0;
    do got = ::waitpid(child, &status, 0);
    while (got < 0 && errno == EINTR);
    // Killed by a signal: no status of its own.
    if (got == child && WIFEXITED(status)) end.status = static_cast<std::uint32_t>(WEXITSTATUS(status));
    return end;
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
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    char time[40];
    // strftime's %z is "+0100": the colon goes in for ISO 8601.
    if (localtime_r(&now, &local) && std::strftime(time, sizeof time, "%Y-%m-%dT%H:%M:%S%z", &local) == 24) {
        facts.time.assign(time, 22);
        facts.time += ':';
        facts.time.append(time + 22, 2);
    }
    char host[256] = {};
    if (::gethostname(host, sizeof host - 1) == 0) facts.computer = Ascii(host);
    facts.account = u"uid " + Ascii(std::to_string(::getuid()));
    const pid_t session = ::getsid(0);
    if (session >= 0) facts.session = static_cast<std::uint32_t>(session);
    return facts;
}

bool LinuxFleetShell::AppendLog(std::string_view line)
{
    if (!log_) return true;
    const int fd = ::open(log_, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY, 0644);
    if (fd < 0) return false;
    const bool whole = WriteAll(fd, line);
    return ::close(fd) == 0 && whole;
}

}  // namespace kestrel
