#!/bin/sh
# Fails when a link map shows exception machinery linked in: the unwinder
# (libgcc_eh, unwind-*), libstdc++'s throw, rethrow and personality routines
# (eh_*.o), or the name demangler (cp-demangle.o). kestrel.exe replaces the
# library's error paths with its own end (gate/windows/runtime.cpp); a
# library error path it does not replace pulls all of them back.
#   no_exception_machinery.sh LINK_MAP
found=$(grep -oE '(libgcc_eh\.a|libgcc\.a|libstdc\+\+\.a|libsupc\+\+\.a)\((unwind[^)]*|eh_[a-z_]+\.o|cp-demangle\.o|vterminate\.o)\)' "$1" | sort -u)
if [ -n "$found" ]; then
  echo "kestrel.exe links exception machinery it must not carry:" >&2
  echo "$found" >&2
  exit 1
fi
