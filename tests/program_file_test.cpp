// Which files the kernel can start, read from their first bytes: scripts
// and ELF programs, whole and cut short.
#include <elf.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "linux/program_file.h"

namespace kestrel {
namespace {

// The processor this test runs on, as ELF names it.
#if defined(__i386__)
constexpr std::uint16_t kThisMachine = EM_386;
#elif defined(__aarch64__)
constexpr std::uint16_t kThisMachine = EM_AARCH64;
#elif defined(__arm__)
constexpr std::uint16_t kThisMachine = EM_ARM;
#else
constexpr std::uint16_t kThisMachine = EM_X86_64;
#endif

// A 64-bit ELF program of `size` bytes for `machine`: its header, one
// program header for each segment given (type, offset, bytes), the loader's
// name at 0x100.
struct Segment {
    std::uint32_t type;
    std::uint64_t offset, bytes;
};
std::string Elf(std::size_t size, std::initializer_list<Segment> segments, unsigned char elfClass = ELFCLASS64,
                std::uint16_t machine = kThisMachine)
{
    std::string file(size, '\0');
    Elf64_Ehdr header{};
    std::memcpy(header.e_ident, ELFMAG, SELFMAG);
    header.e_ident[EI_CLASS] = elfClass;
    header.e_ident[EI_DATA] = ELFDATA2LSB;
    header.e_type = ET_DYN;
    header.e_machine = machine;
    header.e_phoff = sizeof header;
    header.e_phentsize = sizeof(Elf64_Phdr);
    header.e_phnum = static_cast<std::uint16_t>(segments.size());
    std::memcpy(file.data(), &header, std::min(file.size(), sizeof header));
    std::size_t at = sizeof header;
    for (const Segment& s : segments) {
        Elf64_Phdr program{};
        program.p_type = s.type;
        program.p_offset = s.offset;
        program.p_filesz = s.bytes;
        if (file.size() >= at + sizeof program) std::memcpy(file.data() + at, &program, sizeof program);
        at += sizeof program;
    }
    const char loader[] = "/lib64/ld-linux-x86-64.so.2";
    if (file.size() >= 0x100 + sizeof loader) std::memcpy(file.data() + 0x100, loader, sizeof loader);
    return file;
}

TEST(ProgramFile, StartsOnlyWhatTheKernelCanRunWhole)
{
    const Segment interp{PT_INTERP, 0x100, 28};
    struct Case {
        const char* name;
        std::string file;
        bool startable;
        const char* interpreter;
    };
    const Case cases[] = {
        {.name = "empty", .file = "", .startable = false, .interpreter = ""},
        {.name = "text", .file = "echo flash\n", .startable = false, .interpreter = ""},
        {.name = "a script", .file = "#!/bin/sh\necho flash\n", .startable = true, .interpreter = "/bin/sh"},
        {.name = "a script with blanks and an argument",
         .file = "#! /bin/sh -e\n",
         .startable = true,
         .interpreter = "/bin/sh"},
        {.name = "a script of one line, no line feed",
         .file = "#!/bin/sh",
         .startable = true,
         .interpreter = "/bin/sh"},
        {.name = "no interpreter named", .file = "#!\necho\n", .startable = false, .interpreter = ""},
        {.name = "a program whole",
         .file = Elf(0x2000, {interp, {PT_LOAD, 0, 0x2000}}),
         .startable = true,
         .interpreter = "/lib64/ld-linux-x86-64.so.2"},
        {.name = "a static program whole",
         .file = Elf(0x2000, {{PT_LOAD, 0, 0x1000}, {PT_LOAD, 0x1000, 0x1000}}),
         .startable = true,
         .interpreter = ""},
        {.name = "a program cut in its last segment",
         .file = Elf(0x1800, {interp, {PT_LOAD, 0, 0x1000}, {PT_LOAD, 0x1000, 0x1000}}),
         .startable = false,
         .interpreter = ""},
        {.name = "a program cut in its headers",
         .file = Elf(80, {interp, {PT_LOAD, 0, 0x2000}}),
         .startable = false,
         .interpreter = ""},
        {.name = "a program cut in its header", .file = Elf(40, {}), .startable = false, .interpreter = ""},
        {.name = "a program with nothing to load",
         .file = Elf(0x2000, {interp}),
         .startable = false,
         .interpreter = ""},
        {.name = "a loader's name not ended",
         .file = Elf(0x2000, {{PT_INTERP, 0x100, 8}, {PT_LOAD, 0, 0x2000}}),
         .startable = false,
         .interpreter = ""},
        // The kernel refuses a program for another processor (ENOEXEC).
        {.name = "a program for another processor",
         .file = Elf(0x2000, {interp, {PT_LOAD, 0, 0x2000}}, ELFCLASS64, EM_S390),
         .startable = false,
         .interpreter = ""},
        {.name = "an unknown class",
         .file = Elf(0x2000, {{PT_LOAD, 0, 0x2000}}, 7),
         .startable = false,
         .interpreter = ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string_view head = std::string_view(c.file).substr(0, kProgramHeadBytes);
        const ProgramFile program = ReadProgramFile(head, c.file.size());
        EXPECT_EQ(program.startable, c.startable);
        if (program.startable) {
            EXPECT_EQ(program.interpreter, c.interpreter);
        }
    }
}

}  // namespace
}  // namespace kestrel
