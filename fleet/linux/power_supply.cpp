#include "power_supply.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

namespace kestrel {

namespace {

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

}  // namespace kestrel
