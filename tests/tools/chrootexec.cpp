// Runs a program inside another root folder, either from a file in that root
// or from an in-memory copy that has no path at all:
//   chrootexec ROOT --file /PATH     runs ROOT/PATH as /PATH
//   chrootexec ROOT --memfd PROGRAM  runs a memfd copy of PROGRAM (read
//                                    before entering ROOT), named "kestrel"
// As root. Exits 127 when it cannot get as far as starting the program.
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fcntl.h>

extern char** environ;

namespace {

int Fail(const char* what)
{
    std::perror(what);
    return 127;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 4 || (std::strcmp(argv[2], "--file") != 0 && std::strcmp(argv[2], "--memfd") != 0)) {
        std::fprintf(stderr, "usage: chrootexec ROOT --file /PATH | --memfd PROGRAM\n");
        return 64;
    }
    const bool fromMemory = std::strcmp(argv[2], "--memfd") == 0;
    int image = -1;
    if (fromMemory) {
        const int in = ::open(argv[3], O_RDONLY | O_CLOEXEC);
        if (in < 0) return Fail("open");
        image = ::memfd_create("kestrel", MFD_CLOEXEC);
        if (image < 0) return Fail("memfd_create");
        char buffer[65536];
        for (ssize_t n; (n = ::read(in, buffer, sizeof buffer)) > 0;)
            if (::write(image, buffer, static_cast<std::size_t>(n)) != n) return Fail("write");
        ::close(in);
    }
    if (::chroot(argv[1]) != 0 || ::chdir("/") != 0) return Fail("chroot");
    char name[] = "kestrel";
    char* args[] = {fromMemory ? name : argv[3], nullptr};
    if (fromMemory) ::fexecve(image, args, environ);
    else ::execve(argv[3], args, environ);
    return Fail("exec");
}
