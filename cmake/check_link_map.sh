#!/bin/sh
# Fails when kestrel.exe's link map shows what the program must not carry:
#  - exception machinery: the unwinder (libgcc_eh, unwind-*), libstdc++'s
#    throw, rethrow and personality routines (eh_*.o), or the name demangler
#    (cp-demangle.o). kestrel.exe replaces the library's error paths with its
#    own end (gate/windows/runtime.cpp); one it does not replace, as a
#    compiler upgrade may add, pulls all of them back;
#  - libssp's ssp.o, whose constructor seeds the stack guard through a crypto
#    provider before the DLL search is restricted (gate/windows/stack_guard.cpp
#    stands in for it).
#   check_link_map.sh LINK_MAP
found=$(grep -oE '(libgcc_eh\.a|libgcc\.a|libstdc\+\+\.a|libsupc\+\+\.a)\((unwind[^)]*|eh_[a-z_]+\.o|cp-demangle\.o|vterminate\.o)\)|libssp\.a\(ssp\.o\)' "$1" | sort -u)
if [ -n "$found" ]; then
  echo "kestrel.exe links what it must not carry:" >&2
  echo "$found" >&2
  exit 1
fi
