#include "stderr_shell.h"

#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <span>

#include "../utf8.h"

extern char** environ;

namespace kestrel {

namespace {

// Buffers a line and writes it to a descriptor in as few writes as it takes.
class LineWriter {
public:
    explicit LineWriter(int fd) : fd_(fd) {}

    void Put(std::u16string_view text)
    {
        ForEachUtf8(text, [this](const char* bytes, std::size_t n) {
            for (std::size_t i = 0; i < n; ++i) Put(bytes[i]);
        });
    }
    void Put(char c)
    {
        if (used_ == sizeof buffer_) Flush();
        buffer_[used_++] = c;
    }
    // True when every byte was written.
    bool Flush()
    {
        std::size_t done = 0;
        while (ok_ && done < used_) {
            const ssize_t n = ::write(fd_, buffer_ + done, used_ - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) ok_ = false;
            else done += static_cast<std::size_t>(n);
        }
        used_ = 0;
        return ok_;
    }

private:
    int fd_;
    bool ok_ = true;
    std::size_t used_ = 0;
    char buffer_[512];
};

// Appends `text` as UTF-8 to `out` at `used`; false, with `used` unchanged,
// when it does not fit.
bool AppendUtf8(std::u16string_view text, std::span<char> out, std::size_t& used)
{
    std::size_t at = used;
    bool fits = true;
    ForEachUtf8(text, [&](const char* bytes, std::size_t n) {
        if (!fits || at > out.size() || out.size() - at < n) {
            fits = false;
            return;
        }
        std::memcpy(out.data() + at, bytes, n);
        at += n;
    });
    if (fits) used = at;
    return fits;
}

}  // namespace

bool RunningProgramDir(char (&dir)[PATH_MAX])
{
    const ssize_t n = ::readlink("/proc/self/exe", dir, sizeof dir - 1);
    if (n <= 0 || static_cast<std::size_t>(n) >= sizeof dir - 1) return false;
    dir[n] = '\0';
    // The link must name this very file: an in-memory file reads as
    // "/memfd:name (deleted)", a deleted one gets " (deleted)" appended.
    struct stat self {
    }, named{};
    if (dir[0] != '/' || ::stat("/proc/self/exe", &self) != 0 || ::stat(dir, &named) != 0 ||
        self.st_dev != named.st_dev || self.st_ino != named.st_ino)
        return false;
    char* slash = std::strrchr(dir, '/');
    slash[slash == dir ? 1 : 0] = '\0';
    struct stat folder {};
    return ::stat(dir, &folder) == 0 && S_ISDIR(folder.st_mode);
}

// signal() fails only for a signal number that does not exist.
void IgnoreBrokenPipes() { static_cast<void>(::signal(SIGPIPE, SIG_IGN)); }

bool StderrShell::ShowMessage(std::u16string_view text, int, std::u16string_view caption)
{
    LineWriter line(STDERR_FILENO);
    line.Put(caption);
    line.Put(u": ");
    line.Put(text);
    line.Put('\n');
    return line.Flush();
}

bool StderrShell::Launch(std::u16string_view fileName, int) { return Spawn(programDir_, fileName, nullptr, nullptr); }

bool UtilityPath(const char* programDir, std::u16string_view fileName, char (&path)[PATH_MAX])
{
    if (!programDir || programDir[0] != '/') return false;
    std::size_t used = std::strlen(programDir);
    if (used + 1 >= sizeof path) return false;
    std::memcpy(path, programDir, used);
    if (path[used - 1] != '/') path[used++] = '/';
    // Room for the closing NUL is kept out of the span.
    if (!AppendUtf8(fileName, std::span<char>(path, sizeof path - 1), used)) return false;
    path[used] = '\0';
    return true;
}

bool Spawn(const char* programDir, std::u16string_view fileName, const char* const* arguments, pid_t* child)
{
    char path[PATH_MAX];
    if (!UtilityPath(programDir, fileName, path)) return false;

    // The utility's arguments: its path, then those given, if any.
    char* argv[kMostUtilityArguments + 2] = {path};
    std::size_t count = 1;
    for (; arguments && arguments[count - 1]; ++count) {
        if (count > kMostUtilityArguments) return false;
        argv[count] = const_cast<char*>(arguments[count - 1]);
    }
    argv[count] = nullptr;

    // The utility starts with the default SIGPIPE action, not the one this
    // program set for itself, and in a session of its own: a Ctrl+C in
    // kestrel's terminal, or the terminal's hang-up when an SSH connection
    // drops (SIGINT, SIGHUP to its process group, setsid(2)), must not end
    // a flash half-way.
    posix_spawnattr_t attributes;
    if (posix_spawnattr_init(&attributes) != 0) return false;
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    bool started = posix_spawnattr_setsigdefault(&attributes, &defaults) == 0 &&
                   posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSID) == 0;
    // It starts in its own folder, where it finds its image and settings,
    // wherever kestrel was started from.
    posix_spawn_file_actions_t actions;
    if (posix_spawn_file_actions_init(&actions) != 0) {
        posix_spawnattr_destroy(&attributes);
        return false;
    }
    started = started && posix_spawn_file_actions_addchdir_np(&actions, programDir) == 0;
    pid_t started_child = 0;
    started = started && posix_spawn(&started_child, path, &actions, &attributes, argv, environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (started && child) *child = started_child;
    return started;
}

}  // namespace kestrel
