# Sourced by gate_case.sh: what a planted case lays down beside the program
# and what it must find afterwards. Reads the case's settings (plant, local,
# program, vista, name) and its folders ($work/bin, $work/cwd).

# System DLLs that programs load by bare name.
planted_names="version uxtheme dwmapi cryptbase cryptsp propsys profapi comres userenv winmm dbghelp secur32 wbemcomn
  fastprox msctf wtsapi32 netapi32 iphlpapi dnsapi sspicli bcrypt ntmarta shfolder linkinfo ntshrui srvcli
  cscapi apphelp clbcatq rsaenh wininet winhttp mpr netutils samcli samlib wkscli dpapi crypt32 msasn1
  wintrust imagehlp oleacc riched20 comctl32 shell32 shlwapi setupapi cfgmgr32 devobj powrprof wldp"

# plant=yes: the recording DLL ($planted) beside the program and in the
# current folder under each name, with the relay trace on. plant=manifest: a
# manifest beside the program that sends the management objects' COM class
# into it (and, with local=yes, a kestrel.exe.local folder of them).
lay_plants() {
  if [ $plant = yes ]; then
    for dll in $planted_names; do cp "$planted" "$work/bin/$dll.dll"; cp "$planted" "$work/cwd/$dll.dll"; done
    export PLANT_LOG=$(winpath "$work/plant.log") WINEDEBUG=-all,+relay
  fi
  if [ $plant = manifest ]; then
    cat > "$work/bin/kestrel.exe.manifest" <<'MANIFEST'
<assembly xmlns="urn:schemas-microsoft-com:asm.v1" manifestVersion="1.0">
 <assemblyIdentity type="win32" name="Any.Name" version="1.0.0.0" processorArchitecture="x86"/>
 <file name="wmiplant.dll"><comClass clsid="{172BDDF8-CEEA-11D1-8B05-00600806D9B6}" threadingModel="Apartment" progid="winmgmts"/></file>
</assembly>
MANIFEST
    cp "$planted" "$work/bin/wmiplant.dll"
    if [ $local = yes ]; then
      mkdir "$work/bin/kestrel.exe.local"
      for dll in wmiplant $planted_names; do cp "$planted" "$work/bin/kestrel.exe.local/$dll.dll"; done
    fi
    export PLANT_LOG=$(winpath "$work/plant.log")
  fi
}

# No planted DLL loaded, and the calls before COM as they must be; the
# control (program=loadbare) loads one as an unguarded program would.
planted_verdict() {
  [ $plant != no ] || return 0
  local loads want_loads="" order want_order
  loads=$(cat "$work/plant.log" 2> /dev/null | tr -d '\r' | sort -u)
  if [ $program = loadbare ]; then
    want_loads="loaded $(winpath "$work/bin/dwmapi.dll") into $(winpath "$work/bin/loadbare.exe")"
  elif [ $plant = yes ]; then
    order=$(calls_before_com < "$work/report.err") want_order=$(want_calls_before_com $vista)
    [ "$order" = "$want_order" ] || { echo "FAIL $name: the calls before COM"; differ "$want_order" "$order"; return 1; }
  fi
  [ "$loads" = "$want_loads" ] || { echo "FAIL $name: planted DLLs loaded [$loads], wanted [$want_loads]"; return 1; }
}
