# Sourced by gate_case.sh: what a case reads from Wine's traces on the
# program's standard error.

# Each message sent to the console session as caption|text|style|wait, from
# the stub's report: WTSSendMessageW Stub SERVER SESSION (L"CAPTION") BYTES
# (L"TEXT") BYTES STYLE TIMEOUT RESPONSE WAIT.
sent_messages() {
  tr -d '\r' | sed -nE \
    's/.*WTSSendMessageW Stub 00000000 0x[0-9a-f]+ \(L"(.*)"\) [0-9]+ \(L"(.*)"\) [0-9]+ 0x([0-9a-f]+) 0 [0-9A-F]+ 0$/\1|\2|\3|nowait/p' |
    while IFS='|' read -r caption text style wait; do echo "$caption|$text|$((16#$style))|$wait"; done
}

# The DLL search is restricted, and only then COM starts, on kestrel's
# thread: its calls in the relay trace up to CoInitializeEx, in order, a
# library load shown by its path when kestrel.exe made it. The thread is
# named by its hexadecimal id, compared as text: "00e0" read as a number is
# zero.
calls_before_com() {
  tr -d '\r' | awk '
    /Call KERNEL32\.(SetDefaultDllDirectories|SetDllDirectoryW)\(/ && tid == "" { split($0, f, ":"); tid = f[1] }
    tid != "" && !done && index($0, tid ":") == 1 && /Call / && match($0, /(SetDefaultDllDirectories|SetDllDirectoryW|LoadLibraryExW|CoInitializeEx)\(/) {
      call = substr($0, RSTART, RLENGTH - 1)
      if (call == "SetDefaultDllDirectories" && $0 !~ /\(00000800\)/) call = call "(not System32 only)"
      if (call == "SetDllDirectoryW" && $0 !~ /L""/) call = call "(not empty)"
      if (call == "LoadLibraryExW") {
        if ($0 !~ / ret=004/) next
        match($0, /L"[^"]*",[0-9a-f]*,[0-9a-f]*/); call = substr($0, RSTART, RLENGTH)
      }
      if (call == "CoInitializeEx") done = 1
      printf "%s\n", call
    }'
}

# What those calls must be: want_calls_before_com yes|no (the prefix reports
# Vista). No System32-only search on Vista; each DLL of the list loaded by
# its full System32 path, its own imports looked for beside it (flag 8).
want_calls_before_com() {
  if [ "$1" = yes ]; then
    echo SetDllDirectoryW
    for dll in uxtheme dwmapi cryptbase msctf version wbemcomn clbcatq ntmarta userenv setupapi apphelp propsys oleacc \
               comres profapi; do
      printf 'L"C:\\\\windows\\\\system32\\\\%s.dll",00000000,00000008\n' $dll
    done
  else
    printf '%s\n' SetDefaultDllDirectories SetDllDirectoryW
  fi
  echo CoInitializeEx
}
