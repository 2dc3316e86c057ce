#!/bin/sh
# Fails when kestrel.exe's link map shows what the program must not carry:
#  - exception machinery: the unwinder (libgcc_eh, unwind-*), libstdc++'s
#    throw, rethrow and personality routines (eh_*.o), or the name demangler
#    (cp-demangle.o). kestrel.exe replaces the library's error paths with its
#    own end (gate/windows/runtime.cpp); one it does not replace, as a
#    compiler upgrade may add, pulls all of them back;
#  - a stack guard from the toolchain: libssp's ssp.o, whose constructor
#    seeds the guard through a crypto provider before the DLL search is
#    restricted, or the guard and its failure handler that newer mingw-w64
#    runtimes carry (stack_chk_guard, stack_chk_fail); gate/windows/
#    stack_guard.cpp stands in for all of them.
#   check_link_map.sh LINK_MAP
found=$(grep -oE '(libgcc_eh\.a|libgcc\.a|libstdc\+\+\.a|libsupc\+\+\.a)\((unwind[^)]*|eh_[a-z_]+\.o|cp-demangle\.o|vterminate\.o)\)|lib[a-z0-9_+]+\.a\((ssp\.o|[^)]*stack_chk[^)]*)\)' "$1" | sort -u)
if [ -n "$found" ]; then
  echo "kestrel.exe links what it must not carry:" >&2
  echo "$found" >&2
  exit 1
fi
