#include "stderr_shell.h"

#include <spawn.h>
#include <sys/types.h>

#include <cstdio>
#include <filesystem>
#include <system_error>

extern char** environ;

namespace kestrel {

std::string ToUtf8(std::u16string_view text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        if (c < 0x80) {
            out += char(c);
        } else if (c < 0x800) {
            out += char(0xC0 | (c >> 6));
            out += char(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += char(0xE0 | (c >> 12));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        } else {
            out += char(0xF0 | (c >> 18));
            out += char(0x80 | ((c >> 12) & 0x3F));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::string RunningProgramDir()
{
    std::error_code error;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) return {};
    return self.parent_path().string();
}

bool StderrShell::ShowMessage(std::u16string_view text, int, std::u16string_view caption)
{
    const std::string line = ToUtf8(caption) + ": " + ToUtf8(text) + "\n";
    return std::fwrite(line.data(), 1, line.size(), stderr) == line.size() && std::fflush(stderr) == 0;
}

bool StderrShell::Launch(std::u16string_view fileName, int)
{
    if (programDir_.empty()) return false;
    const std::string path = programDir_ + "/" + ToUtf8(fileName);
    char* argv[] = {const_cast<char*>(path.c_str()), nullptr};
    pid_t child = 0;
    return posix_spawn(&child, path.c_str(), nullptr, nullptr, argv, environ) == 0;
}

}  // namespace kestrel
