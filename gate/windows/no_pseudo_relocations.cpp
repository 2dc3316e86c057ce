// kestrel.exe is linked without auto-import (CMakeLists.txt), so the linker
// makes no run-time pseudo-relocation: a data import that would need one is a
// link error instead. mingw-w64's start-up code still calls the routine that
// applies them; its own copy walks the image's sections and brings a
// reporter that writes to stderr and aborts, 2 KiB of code for a list that
// is empty. This one applies nothing, and ends as every internal failure
// does should the list ever hold something (the linker's script marks its
// bounds).
#include "runtime.h"

// The names are mingw-w64's and the linker's, defined and read here on
// purpose.
// NOLINTBEGIN(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp)
extern "C" {

extern const char __RUNTIME_PSEUDO_RELOC_LIST__;
extern const char __RUNTIME_PSEUDO_RELOC_LIST_END__;

void _pei386_runtime_relocator()
{
    if (&__RUNTIME_PSEUDO_RELOC_LIST__ != &__RUNTIME_PSEUDO_RELOC_LIST_END__) kestrel::EndOnInternalFailure();
}

}  // extern "C"
// NOLINTEND(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp)
