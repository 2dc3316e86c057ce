// Whether a file is a program that this machine's kernel can start, read
// from its first bytes: what a run that decides only (--check) and a run
// that starts the utility both ask before a start, so that they agree.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace kestrel {

// How many of a program's first bytes are read: its headers are in them.
inline constexpr std::size_t kProgramHeadBytes = 4096;

struct ProgramFile {
    bool startable = false;
    // The program that runs it, which must be there too: a script's
    // interpreter ("#!/bin/sh"), an ELF program's loader (PT_INTERP); empty
    // for a static ELF program.
    std::string_view interpreter;
};

// Reads `head`, the first bytes of a file of `size` bytes (all of them, or
// the first kProgramHeadBytes). Startable: a script that names its
// interpreter on its first line, or an ELF program for this machine's
// processor whose headers, loaded segments and loader's name all lie within
// the file. An empty file, text
// without "#!" (the kernel refuses it: ENOEXEC), an ELF program cut short (the
// kernel starts it, and it dies at its first touch of what is missing) and
// anything else are not.
ProgramFile ReadProgramFile(std::string_view head, std::uint64_t size);

}  // namespace kestrel
