#include "log_file.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

#include "../log_tail.h"

namespace kestrel {

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

namespace {

// How long a writer waits for another to finish its line: the lock is tried
// every kLockPauseNanoseconds, kLockTries times: about two seconds. A writer
// holds it for a few system calls; one that holds it longer has stopped,
// and the run must not wait on it for ever.
constexpr int kLockTries = 100;
constexpr long kLockPauseNanoseconds = 20'000'000;

}  // namespace

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

}  // namespace kestrel
