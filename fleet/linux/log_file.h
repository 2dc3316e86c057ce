// The log's file on Linux: opened without following a link, held by one
// writer at a time, a line appended whole.
#pragma once

#include <sys/types.h>

#include <string_view>

namespace kestrel {

// Writes all of `bytes` to `fd`, again after an interruption; false when a
// write fails.
bool WriteAll(int fd, std::string_view bytes);

// Takes the log open as `fd` for this run alone (flock), waiting about two
// seconds at most for another writer; false when it could not.
bool LockAlone(int fd);

// Opens `path` as open(2) would with `flags` and `mode`, but refuses a
// symbolic link anywhere on it: each folder is opened on its own, from the
// root (or the current folder, for a relative path) down, none followed
// (O_NOFOLLOW), so that a link a user made where the log's folder was meant
// to be cannot send the line into another file. -1 when refused.
int OpenWithoutLinks(const char* path, int flags, mode_t mode);

// Appends `line` to the log open as `fd`, which this run holds alone: after
// a line feed when the log does not end in one (nothing another writer left
// is taken away), and when this write fails part-way (a full disk) the file
// is cut back to where this run began to write.
bool AppendWholeLine(int fd, std::string_view line);

}  // namespace kestrel
