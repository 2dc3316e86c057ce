#!/usr/bin/env bash
# Reads the built kestrel.exe with tools that know nothing of this project
# (objdump, wrestool and icotool, exiftool) and checks that it presents itself
# as it should: a 32-bit GUI program that imports only Windows' own DLLs,
# with a version block, an icon group and a manifest that asks for nothing,
# and no other resource; hardened as a release reviewer's PE checker (pev's
# pesec and readpe) expects.
# It also checks what keeps it loadable on Windows XP: the subsystem and OS
# versions, and every imported function against the list of those XP has.
#   identity.sh KESTREL_EXE XP_IMPORTS
set -u
exe=$1 xp_imports=$2
source "$(dirname "$0")/e2e/common.sh"

check "file name" "$(basename "$exe")" "kestrel.exe"

headers=$(i686-w64-mingw32-objdump -p "$exe" | tr -s ' \t' ' ')
check "32-bit" "$(grep -E '^Magic' <<< "$headers")" "Magic 010b (PE32)"
check "graphical subsystem" "$(grep -E '^Subsystem' <<< "$headers")" "Subsystem 00000002 (Windows GUI)"
# Only DLLs that every Windows has; no C++, GCC or threads runtime beside it.
# Static imports are resolved before the program can restrict the DLL search,
# so each must be one that Windows maps from System32 whatever the folder
# holds: a KnownDLL, or a KnownDLL's dependency ("the system uses its copy of
# the known DLL (and the known DLL's dependent DLLs, if any)", Microsoft,
# Dynamic-link library search order; for XP, KB164501). KERNEL32, USER32,
# GDI32, ole32 and OLEAUT32 are in the KnownDLLs key from XP to 11; msvcrt is
# in it from Vista on and, on XP, a dependency of ole32. IMM32 is no longer
# imported: the login dialog loads it from System32.
imports=$(grep -oE 'DLL Name: \S+' <<< "$headers" | cut -d' ' -f3 | tr 'A-Z' 'a-z' | sort -u)
check "imports only system DLLs" \
  "$(grep -vxE 'kernel32\.dll|user32\.dll|gdi32\.dll|ole32\.dll|oleaut32\.dll|msvcrt\.dll' <<< "$imports")" ""

# Windows XP is 5.01: neither version may ask for more.
for field in Subsystem OSystem; do
  version=$(awk -v f="$field" '$1 == "Major" f "Version" {major = $2} $1 == "Minor" f "Version" {minor = $2}
                               END {printf "%d.%02d", major, minor}' <<< "$headers")
  check "$field version at most 5.01 ($version)" "$(awk -v v="$version" 'BEGIN {print (v + 0 <= 5.01) ? "yes" : "no"}')" "yes"
done
imported=$(i686-w64-mingw32-objdump -p "$exe" |
  awk '/DLL Name:/ {dll = tolower($3)} /^\t[0-9a-f]+\t +[0-9]+  [A-Za-z_]/ {print dll " " $3}' | sort)
check "imports some functions" "$([ "$(wc -l <<< "$imported")" -gt 50 ] && echo yes)" "yes"
# No abort of msvcrt's: its box and status 3 would pass for an outcome.
check "imports no abort" "$(grep -x 'msvcrt.dll abort' <<< "$imported")" ""
check "imports only what Windows XP has" "$(comm -23 <(echo "$imported") <(grep -v '^#' "$xp_imports" | sort))" ""

check "resources" "$(wrestool -l "$exe" | sed 's/ \[.*//')" "\
--type=3 --name=30001 --language=1033
--type=3 --name=30002 --language=1033
--type=3 --name=30003 --language=1033
--type=14 --name=1 --language=1033
--type=16 --name=1 --language=1033
--type=24 --name=1 --language=1033"

# The manifest names the program and the Windows versions it was made for,
# and nothing else: no execution level, no dependency, no DPI setting. The
# supported-OS list is Vista, 7, 8, 8.1, and 10 and 11, in the identifiers of
# Microsoft's "Application manifests" page: without the one for 7, Windows 7
# puts a program the user starts in the Program Compatibility Assistant's
# job; without those for 8.1 and 10, GetVersion answers 6.2.
manifest=$(wrestool -x --raw --type=24 --name=1 "$exe")
check "manifest elements" "$(grep -oE '<[A-Za-z][A-Za-z0-9:]*' <<< "$manifest" | tr -d '<' | tr '\n' ' ')" \
  "assembly assemblyIdentity compatibility application supportedOS supportedOS supportedOS supportedOS supportedOS "
check "supported Windows versions" "$(grep -oE 'supportedOS Id="[^"]*"' <<< "$manifest" | cut -d'"' -f2 | tr '\n' ' ')" \
  "{e2011457-1546-43c5-a5fe-008deee3d3f0} {35138b9a-5d96-4fbd-8e2d-a2440225f93a} {4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38} {1f676c76-80e1-4239-95bb-83d0f6d0da78} {8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a} "
check "manifest requests nothing" \
  "$(grep -ciE 'trustInfo|requestedExecutionLevel|dependency|dpiAware|dpiAwareness' <<< "$manifest")" "0"

# Hardening: ASLR with relocations, DEP, no SEH, terminal-server aware.
characteristics=$(readpe -h optional "$exe" | grep -oE 'IMAGE_DLLCHARACTERISTICS_[A-Z_]+' | sort | tr '\n' ' ')
check "DLL characteristics" "$characteristics" \
  "IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE IMAGE_DLLCHARACTERISTICS_NO_SEH IMAGE_DLLCHARACTERISTICS_NX_COMPAT IMAGE_DLLCHARACTERISTICS_TERMINAL_SERVER_AWARE "
check "pesec" "$(pesec "$exe" | grep -E '^(ASLR|DEP/NX|SEH):' | tr -s ' ')" "\
ASLR: yes
DEP/NX: yes
SEH: no"
check "relocation section" "$(i686-w64-mingw32-objdump -h "$exe" | awk '$2 == ".reloc" {print "yes"}')" "yes"
# NO_SEH is true only if no code registers a frame-based handler, which on
# 32-bit Windows means writing the handler chain at fs:[0]. The only
# segment-relative access in the image is the C runtime's start-up reading
# the thread block's own address (fs:[0x18]) and, from it, the stack base
# (offset 4); nothing reads or writes fs:[0].
disassembly=$(i686-w64-mingw32-objdump -d --no-show-raw-insn "$exe")
check "segment accesses" "$(grep -oE '%fs:[^,]*' <<< "$disassembly" | sort -u)" "%fs:0x18"
check "the thread block read only for its stack base" "$(awk '
  /%fs:0x18,%e/ { match($0, /%e[a-z][a-z]/); reg = substr($0, RSTART, RLENGTH); left = 3; next }
  left > 0 { left--; if (index($0, "(" reg ")")) { n = $0; sub(/^[^\t]*\t[a-z]+ +/, "", n); print n } }
  ' <<< "$disassembly" | sort -u | sed -E 's/%e[a-z][a-z]/REG/g')" "0x4(REG),REG"

wrestool -x --type=14 --name=1 "$exe" -o "$work/kestrel.ico"
check "icon images" "$(icotool -l "$work/kestrel.ico")" "\
--icon --index=1 --width=32 --height=32 --bit-depth=1 --palette-size=2
--icon --index=2 --width=32 --height=32 --bit-depth=4 --palette-size=16
--icon --index=3 --width=16 --height=16 --bit-depth=4 --palette-size=16"
# The group names its images 30001, 30002, 30003 (the last field of each entry).
group=$(wrestool -x --raw --type=14 --name=1 "$exe" | od -An -tu2 -v -w14 -j6 | awk '{print $NF}' | tr '\n' ' ')
check "icon group members" "$group" "30001 30002 30003 "
check "icons decode" "$(icotool -x -o "$work" "$work/kestrel.ico" && ls "$work" | grep -c png)" "3"

check "version block" "$(exiftool -s -s -s -n -FileVersionNumber -ProductVersionNumber -FileFlags -FileOS \
  -ObjectFileType -LanguageCode -CharacterSet "$exe")" "\
1.0.0.0
1.0.0.0
0
4
1
0409
04B0"
# The translation: language 0x0409, code page 1200 (the block's last four bytes).
check "translation" "$(wrestool -x --raw --type=16 --name=1 "$exe" | tail -c 4 | od -An -tx2 | tr -s ' ')" " 0409 04b0"
# The string table holds exactly six strings (everything exiftool reads from
# the version block past its fixed part and the code page).
strings=$(exiftool -s -G1 "$exe" | grep -E '^\[EXE\]' |
  grep -vE '^\[EXE\] +(MachineType|TimeStamp|ImageFileCharacteristics|PEType|LinkerVersion|CodeSize|InitializedDataSize|UninitializedDataSize|EntryPoint|OSVersion|ImageVersion|SubsystemVersion|Subsystem|FileVersionNumber|ProductVersionNumber|FileFlagsMask|FileFlags|FileOS|ObjectFileType|FileSubtype|LanguageCode|CharacterSet) ' |
  sed -E 's/^\[EXE\] +//; s/ +: /=/')
check "string table" "$strings" "\
CompanyName=Greyfell Instruments
ProductName=tarn
FileVersion=1.00
ProductVersion=1.00
InternalName=kestrel
OriginalFileName=kestrel.exe"

summary
