// kestrel.exe carries no exception machinery. Nothing in it throws; the few
// error paths of the C++ library (a failed allocation, a length past what a
// container can hold) end the program instead, and the terminate handler
// does not bring the name demangler along.
//
// They do not call msvcrt's abort(): in a GUI program it shows its own
// "abnormal program termination" box and exits with status 3, which is the
// gate's "the utility could not be started". The library's header-only
// checks (std::optional::value() and the like, with exceptions off) call
// __builtin_abort(), which is abort(): it is defined here too, so that it
// ends as every other internal failure does and kestrel.exe imports none.
#include "runtime.h"

#include <cstdlib>
#include <new>

// These names are libstdc++'s own, replaced here on purpose; the build checks
// that the library's versions, and the machinery they bring, stay out.
// NOLINTBEGIN(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp,cert-dcl58-cpp,cert-dcl50-cpp)
namespace __gnu_cxx {
void __verbose_terminate_handler() { kestrel::EndOnInternalFailure(); }
}  // namespace __gnu_cxx

namespace std {
void __throw_length_error(const char*) { kestrel::EndOnInternalFailure(); }
void __throw_logic_error(const char*) { kestrel::EndOnInternalFailure(); }
void __throw_bad_alloc() { kestrel::EndOnInternalFailure(); }
void __throw_bad_array_new_length() { kestrel::EndOnInternalFailure(); }
void __throw_out_of_range(const char*) { kestrel::EndOnInternalFailure(); }
void __throw_out_of_range_fmt(const char*, ...) { kestrel::EndOnInternalFailure(); }
}  // namespace std
// NOLINTEND(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp,cert-dcl58-cpp,cert-dcl50-cpp)

// NOLINTNEXTLINE(cert-dcl58-cpp,bugprone-reserved-identifier)
extern "C" void abort() { kestrel::EndOnInternalFailure(); }

void* operator new(std::size_t size)
{
    if (void* p = std::malloc(size ? size : 1)) return p;
    kestrel::EndOnInternalFailure();
}
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
