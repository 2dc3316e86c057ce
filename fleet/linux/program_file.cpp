#include "program_file.h"

#include <elf.h>

#include <cstring>

namespace kestrel {

namespace {

// Whether an ELF program of `machine` runs on this machine's processor: its
// own, or on x86-64 and 64-bit Arm the 32-bit ones those run too. A program
// for another processor is refused by the kernel (ENOEXEC).
bool ThisMachine(unsigned machine)
{
#if defined(__x86_64__)
    return machine == EM_X86_64 || machine == EM_386;
#elif defined(__i386__)
    return machine == EM_386;
#elif defined(__aarch64__)
    return machine == EM_AARCH64 || machine == EM_ARM;
#elif defined(__arm__)
    return machine == EM_ARM;
#else
    return machine != EM_NONE;
#endif
}

// The header, program headers and segments of an ELF file of either class,
// in this machine's byte order.
template <typename Header, typename ProgramHeader>
ProgramFile ReadElf(std::string_view head, std::uint64_t size)
{
    ProgramFile file;
    Header header;
    if (head.size() < sizeof header) return file;
    std::memcpy(&header, head.data(), sizeof header);
    if ((header.e_type != ET_EXEC && header.e_type != ET_DYN) || !ThisMachine(header.e_machine)) return file;
    if (header.e_phentsize != sizeof(ProgramHeader) || header.e_phnum == 0) return file;
    const std::uint64_t table = header.e_phoff,
                        tableEnd = table + std::uint64_t(header.e_phnum) * sizeof(ProgramHeader);
    if (tableEnd > head.size()) return file;
    bool loads = false;
    for (std::uint64_t at = table; at < tableEnd; at += sizeof(ProgramHeader)) {
        ProgramHeader segment;
        std::memcpy(&segment, head.data() + at, sizeof segment);
        const std::uint64_t offset = segment.p_offset, bytes = segment.p_filesz;
        if ((segment.p_type == PT_LOAD || segment.p_type == PT_INTERP) && (offset > size || bytes > size - offset))
            return file;
        loads = loads || segment.p_type == PT_LOAD;
        if (segment.p_type != PT_INTERP) continue;
        // A path ended by a NUL, in what was read.
        if (bytes < 2 || offset + bytes > head.size() || head[offset + bytes - 1] != '\0') return file;
        file.interpreter = head.substr(offset, bytes - 1);
        if (file.interpreter.find('\0') != std::string_view::npos) return {};
    }
    file.startable = loads;
    return file;
}

}  // namespace

ProgramFile ReadProgramFile(std::string_view head, std::uint64_t size)
{
    ProgramFile file;
    if (head.size() >= 2 && head[0] == '#' && head[1] == '!') {
        // "#!", blanks, the interpreter's path up to a blank or the line's
        // end (execve(2)): a line ended within what was read.
        std::size_t from = 2;
        while (from < head.size() && (head[from] == ' ' || head[from] == '\t')) ++from;
        std::size_t to = from;
        while (to < head.size() && head[to] != ' ' && head[to] != '\t' && head[to] != '\n' && head[to] != '\0') ++to;
        // The line must end within what was read, unless that is the whole
        // file: the kernel reads no more of it either.
        if (to == from || (head.find('\n') == std::string_view::npos && head.size() < size)) return file;
        file.interpreter = head.substr(from, to - from);
        file.startable = true;
        return file;
    }
    if (head.size() < EI_NIDENT || std::memcmp(head.data(), ELFMAG, SELFMAG) != 0) return file;
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    if (head[EI_DATA] != ELFDATA2LSB) return file;
#else
    if (head[EI_DATA] != ELFDATA2MSB) return file;
#endif
    if (head[EI_CLASS] == ELFCLASS64) return ReadElf<Elf64_Ehdr, Elf64_Phdr>(head, size);
    if (head[EI_CLASS] == ELFCLASS32) return ReadElf<Elf32_Ehdr, Elf32_Phdr>(head, size);
    return file;
}

}  // namespace kestrel
