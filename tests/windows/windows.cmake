# Windows-only tests: the end-to-end runs of kestrel.exe under Wine and the
# checks of what the executable presents of itself.
add_executable(boxdriver windows/boxdriver.cpp)
target_link_options(boxdriver PRIVATE -municode -static)
target_compile_definitions(boxdriver PRIVATE UNICODE _UNICODE)
target_link_libraries(boxdriver PRIVATE user32)
target_include_directories(boxdriver PRIVATE ${PROJECT_SOURCE_DIR}/check/windows)

# One 32-bit Wine prefix for every test of this build, one 64-bit prefix for
# the gate's runs under WoW64, and one 32-bit prefix that reports Windows
# Vista. No test writes to them: each Wine test runs in a room of its own, on
# an overlay of its prefix with its own wineserver and X server
# (tests/e2e/common.sh), so the tests run side by side.
set(KESTREL_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
set(KESTREL_WINEPREFIX64 ${CMAKE_BINARY_DIR}/wineprefix64)
set(KESTREL_WINEPREFIX_VISTA ${CMAKE_BINARY_DIR}/wineprefix-vista)
# The same, by fixture name.
set(KESTREL_WINEPREFIX_wine ${KESTREL_WINEPREFIX})
set(KESTREL_WINEPREFIX_wine64 ${KESTREL_WINEPREFIX64})
set(KESTREL_WINEPREFIX_winevista ${KESTREL_WINEPREFIX_VISTA})
set(E2E ${CMAKE_CURRENT_SOURCE_DIR}/e2e)
# wine_prefix(NAME FIXTURE ARGS...) makes a prefix that tests requiring the
# fixture share.
function(wine_prefix name fixture)
  add_test(NAME ${name} COMMAND bash ${E2E}/prefix.sh ${ARGN})
  set_tests_properties(${name} PROPERTIES FIXTURES_SETUP ${fixture})
endfunction()
wine_prefix(wine_prefix wine ${KESTREL_WINEPREFIX} win32)
wine_prefix(wine_prefix64 wine64 ${KESTREL_WINEPREFIX64} win64)
wine_prefix(wine_prefix_vista winevista ${KESTREL_WINEPREFIX_VISTA} win32 vista)
add_test(NAME gate_tests COMMAND bash ${E2E}/unit.sh ${KESTREL_WINEPREFIX} $<TARGET_FILE:gate_tests>)
set_tests_properties(gate_tests PROPERTIES FIXTURES_REQUIRED wine)

# The gate's cases in one prefix: kestrel_<FIXTURE>_<CASE>. The planted-DLL
# cases take the release check's probe; their control is its careless gate,
# which loads a DLL by bare name; the fleet cases a stand-in that ends late.
set(PLANT_TOOLS $<TARGET_FILE:probe> $<TARGET_FILE:careless> $<TARGET_FILE:kestrel_unmanifested>
                $<TARGET_FILE:kestrel_elevation_seam> $<TARGET_FILE:standin_ends> $<TARGET_FILE:needs_absent>)
# A utility that its loader ends: its DLL is never laid down beside it.
add_library(absent_helper SHARED windows/absent_helper.cpp)
add_executable(needs_absent WIN32 windows/needs_absent.cpp)
target_link_options(needs_absent PRIVATE -municode -static-libgcc -static-libstdc++)
target_link_libraries(needs_absent PRIVATE absent_helper)
# The fleet cases' stand-in: it ends as its case says, waited for.
add_executable(standin_ends WIN32 ${PROJECT_SOURCE_DIR}/check/windows/standin.cpp)
target_compile_definitions(standin_ends PRIVATE STANDIN_ENDS)
target_link_options(standin_ends PRIVATE -municode -static)
function(gate_cases fixture prefix)
  foreach(case ${ARGN})
    add_test(NAME kestrel_${fixture}_${case}
             COMMAND bash ${E2E}/gate_case.sh ${prefix} $<TARGET_FILE:kestrel>
                     $<TARGET_FILE:boxdriver> $<TARGET_FILE:standin> ${case} ${PLANT_TOOLS})
    set_tests_properties(kestrel_${fixture}_${case} PROPERTIES
      FIXTURES_REQUIRED ${fixture} SKIP_RETURN_CODE 77 TIMEOUT 180)
  endforeach()
endfunction()
# Each road, plain, with every system DLL name planted, with a planted
# manifest and started hidden, is the release check's to prove: it runs in
# each prefix on each road below. The cases of gate_case.sh's table check what it
# does not: the utility elsewhere, the calls before COM, the .local folder,
# the refusal of a governing manifest, an unseen window station, the
# elevation road, the root of a drive. Each line of that table names the
# prefixes its case runs in ("on wine winevista;"); a change to the table
# configures the build again.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${E2E}/gate_case.sh)
file(STRINGS ${E2E}/gate_case.sh case_lines REGEX "^  [a-z0-9_]+\\) +on [a-z0-9 ]+;")
foreach(line ${case_lines})
  string(REGEX MATCH "^  ([a-z0-9_]+)\\) +on ([a-z0-9 ]+);" matched "${line}")
  string(REPLACE " " ";" fixtures "${CMAKE_MATCH_2}")
  foreach(fixture ${fixtures})
    if(NOT fixture STREQUAL "signing")
      if(NOT DEFINED KESTREL_WINEPREFIX_${fixture})
        message(FATAL_ERROR "gate_case.sh: case ${CMAKE_MATCH_1} names no prefix of this build: ${fixture}")
      endif()
      list(APPEND cases_${fixture} ${CMAKE_MATCH_1})
    endif()
  endforeach()
endforeach()
foreach(fixture wine winevista wine64)
  gate_cases(${fixture} ${KESTREL_WINEPREFIX_${fixture}} ${cases_${fixture}})
endforeach()

# Fleet runs that take more than one run: kestrel_fleet_<CASE>.
add_executable(squatter windows/squatter.cpp)
target_link_options(squatter PRIVATE -municode -static)
target_link_libraries(squatter PRIVATE advapi32)
foreach(case killed_wait nowait_then_wait child_outlives many_at_once time_limit squat_mutex squat_event squat_job squat_start
             squat_semaphore squat_timer plain_while_flash agent_job_leave agent_job_stay many_helpers tail_too_long
             log_full log_fragment log_through_mount log_hard_link log_user_owned)
  set(script fleet_case.sh)
  if(case MATCHES "^log_")
    set(script fleet_log_case.sh)
  endif()
  add_test(NAME kestrel_fleet_${case}
           COMMAND bash ${E2E}/${script} ${KESTREL_WINEPREFIX} $<TARGET_FILE:kestrel> $<TARGET_FILE:boxdriver>
                   $<TARGET_FILE:standin_ends> $<TARGET_FILE:squatter> ${case})
  set_tests_properties(kestrel_fleet_${case} PROPERTIES FIXTURES_REQUIRED wine SKIP_RETURN_CODE 77 TIMEOUT 180)
endforeach()
# A real minute's limit: started among the first, it waits beside the rest.
set_tests_properties(kestrel_fleet_time_limit PROPERTIES COST 90)

# The release check: kestrel_check_<FIXTURE>_<ROAD>, and its negative control.
foreach(prefix wine winevista wine64)
  foreach(road launch wrong_model no_wmi)
    set(version 34B)
    if(road STREQUAL wrong_model)
      set(version 12B)
    elseif(road STREQUAL no_wmi)
      set(version nowmi)
    endif()
    set(name kestrel_check_${prefix}_${road})
    # The time limit's real minute is proven once, on the launch road.
    set(minute "")
    set(cost 30)
    if(prefix STREQUAL wine AND road STREQUAL launch)
      set(minute minute)
      set(cost 90)
    endif()
    add_test(NAME ${name} COMMAND bash ${E2E}/release_check.sh ${KESTREL_WINEPREFIX_${prefix}} $<TARGET_FILE:kestrel-check>
                                  $<TARGET_FILE:kestrel> ${version} ${minute})
    set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED ${prefix} SKIP_RETURN_CODE 77 TIMEOUT 300 COST ${cost})
  endforeach()
endforeach()
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/badgate_headers.cpp "")
add_library(badgate_headers OBJECT ${CMAKE_CURRENT_BINARY_DIR}/badgate_headers.cpp)
target_precompile_headers(badgate_headers PRIVATE <windows.h> <tlhelp32.h> <string>)
foreach(fault load map_only driver error_icon child twice cwd waits job unquoted cmd absent_load abort_retry_ignore
              data_file escape loud glued_log process_lock no_breakaway load_1618 wait_lock log_zero absent_box
              retry_crash child_grace own_keys split_line drop_line)
  add_executable(badgate_${fault} WIN32 windows/badgate.cpp)
  string(TOUPPER ${fault} definition)
  target_compile_definitions(badgate_${fault} PRIVATE BADGATE_${definition})
  target_link_options(badgate_${fault} PRIVATE -municode -static)
  if(NOT fault MATCHES "^(load|map_only|driver|error_icon|child|twice|cwd)$")
    target_sources(badgate_${fault} PRIVATE windows/badgate.rc)
    target_include_directories(badgate_${fault} PRIVATE ${PROJECT_SOURCE_DIR}/resources)
  endif()
  # Windows' headers parsed once for every gate: no fault's definition
  # reaches them.
  target_precompile_headers(badgate_${fault} REUSE_FROM badgate_headers)
endforeach()
# The controls, each a gate that must fail: NAME GATE BOARD KIND [OPTIONS...].
function(check_control name gate board kind)
  add_test(NAME kestrel_check_${name} COMMAND bash ${E2E}/release_check.sh ${KESTREL_WINEPREFIX} $<TARGET_FILE:kestrel-check>
                                                $<TARGET_FILE:${gate}> ${board} ${kind} ${ARGN})
  set_tests_properties(kestrel_check_${name} PROPERTIES FIXTURES_REQUIRED wine SKIP_RETURN_CODE 77 TIMEOUT 300 COST 15)
endfunction()
check_control(control badgate_load 12B control)
check_control(control_map_only badgate_map_only 12B map_only)
# A driver loaded by bare name, a child that loads the planted DLL, two starts,
# the current folder's utility.
check_control(control_driver badgate_driver 12B driver)
check_control(control_child badgate_child 12B child)
check_control(control_twice badgate_twice 34B twice)
check_control(control_cwd badgate_cwd 34B cwd)
# A user's folder and a gate's name outside ASCII, together: either one
# unread would let the gate pass.
check_control(control_unicode badgate_load 12B control temp name=bädgate.exe)
check_control(control_icon_144dpi badgate_error_icon 12B error_icon dpi=144)
# Gates careless in the field, each caught: one that waits for its utility,
# one whose job ends it, an unquoted start, cmd.exe by bare name, a load on
# the status-3 road, a box with Abort, Retry and Ignore, a copy of itself
# left running under another parent, and one that ignores /quiet.
check_control(control_waits badgate_waits 34B waits)
check_control(control_job badgate_job 34B job)
check_control(control_unquoted badgate_unquoted 34B unquoted)
check_control(control_cmd badgate_cmd 34B cmd)
check_control(control_absent_load badgate_absent_load 34B absent_load)
check_control(control_abort_retry_ignore badgate_abort_retry_ignore 12B abort_retry_ignore)
check_control(control_escape badgate_escape 12B escape)
check_control(control_loud badgate_loud 12B loud)
# Its JUnit file not written: the failing run still ends with 1.
check_control(control_escape_junit_lost badgate_escape 12B escape junit_lost)
# A switch each that no stage ran before, passed over by kestrel.exe's own
# sources reading a careless command line (/target:, a misspelt /taget:,
# /timeout:, what follows "--", /check after another switch), and gates
# careless with the log, the lock and an agent's job.
check_control(control_no_target kestrel_careless 34B no_target)
check_control(control_misspelt kestrel_careless 34B misspelt)
check_control(control_no_timeout kestrel_careless 34B no_timeout)
set_tests_properties(kestrel_check_control_no_timeout PROPERTIES COST 90)
check_control(control_no_tail kestrel_careless 34B no_tail)
check_control(control_check_first kestrel_careless 34B check_first)
check_control(control_glued_log badgate_glued_log 12B glued_log)
check_control(control_process_lock badgate_process_lock 34B process_lock)
check_control(control_no_breakaway badgate_no_breakaway 34B no_breakaway)
# A DLL loaded by bare name on the 1618 road only, and a lock that only a
# waiting run takes.
check_control(control_load_1618 badgate_load_1618 34B load_1618)
check_control(control_wait_lock badgate_wait_lock 34B wait_lock)
# The utility's status read carelessly: a restart started (1641) and a crash
# taken for success.
check_control(control_status_1641 kestrel_careless 34B status_1641)
check_control(control_status_crash kestrel_careless 34B status_crash)
# A log that cannot be opened taken for success, a missing utility told in a
# box under /quiet, a second start after a crash.
check_control(control_log_zero badgate_log_zero 12B log_zero)
check_control(control_own_keys badgate_own_keys 12B own_keys)
check_control(control_absent_box badgate_absent_box 34B absent_box)
check_control(control_retry_crash badgate_retry_crash 34B retry_crash)
# A wait that gives the utility's children three seconds more instead of
# waiting for them.
check_control(control_child_grace badgate_child_grace 34B child_grace)
# Runs at once into one log, each line written in two pieces; a starting
# line left out; the utility's status passed on where it is one of kestrel's
# own added later; the power looked at only by a run that does not wait; the
# board's version read as a number (034A flashed).
check_control(control_split_line badgate_split_line 12B split_line)
check_control(control_drop_line badgate_drop_line 12B drop_line)
check_control(control_no_starting kestrel_careless 34B no_starting)
check_control(control_late_starting kestrel_careless 34B late_starting)
check_control(control_own_statuses kestrel_careless 34B own_statuses)
check_control(control_battery_wait kestrel_careless 34B battery_wait battery)
check_control(control_number kestrel_careless 034A number)
# kestrel.exe with a window over the screen's centre: its box is read all
# the same.
add_executable(cover WIN32 windows/cover.cpp)
target_link_options(cover PRIVATE -municode -static)
# kestrel.exe itself, in one setting each: NAME BOARD [OPTIONS...].
function(check_kestrel name board)
  add_test(NAME kestrel_check_wine_${name} COMMAND bash ${E2E}/release_check.sh ${KESTREL_WINEPREFIX}
                                                   $<TARGET_FILE:kestrel-check> $<TARGET_FILE:kestrel> ${board} ${ARGN})
  set_tests_properties(kestrel_check_wine_${name} PROPERTIES FIXTURES_REQUIRED wine SKIP_RETURN_CODE 77 TIMEOUT 300
                                                               COST 30)
endfunction()
check_kestrel(covered 12B cover=$<TARGET_FILE:cover>)
# The same window putting itself on top again and again: the box is moved
# clear of it before its icon is read.
check_kestrel(covered_stays 12B cover=$<TARGET_FILE:cover> stays)
# On battery: the fleet launch is refused with 4.
check_kestrel(battery 34B battery)
# Where nobody sees a box: the box roads hold without one.
check_kestrel(unseen 12B unseen=$<TARGET_FILE:boxdriver>)
# Where the user's name is not ASCII.
check_kestrel(temp 34B temp)
# A board read that answers 8 s late while a flash runs (a WMI service that
# has just started): the runs during the busy stage's flash still hold.
check_kestrel(slow_wmi 34B slow_wmi)
# %TEMP% through a mount point, where kestrel.exe writes no log: the scratch
# folder goes elsewhere, and the fleet stages with their logs hold.
check_kestrel(temp_mount 34B temp_mount)
# The same with C:\ read-only: the stages with a log say skipped and why.
check_kestrel(temp_mount_ro 34B temp_mount_ro)
# In a job that allows no breakaway, on a Windows before 8 (the Vista
# prefix): the check says so and expects the utility's own process waited
# for (Wine nests jobs, so kestrel.exe waits for the child too, which holds).
add_test(NAME kestrel_check_winevista_in_job
         COMMAND bash ${E2E}/release_check.sh ${KESTREL_WINEPREFIX_VISTA} $<TARGET_FILE:kestrel-check>
                 $<TARGET_FILE:kestrel> 34B job=$<TARGET_FILE:boxdriver>)
set_tests_properties(kestrel_check_winevista_in_job PROPERTIES FIXTURES_REQUIRED winevista SKIP_RETURN_CODE 77
                                                               TIMEOUT 300 COST 30)
# The JUnit file asked for where it cannot be written: the run that held ends
# with 2.
check_kestrel(junit_lost 12B junit_lost)
# The check ended by force over an earlier run's JUnit file that passed: the
# file says it did not finish.
check_kestrel(junit_cut 12B junit_cut)

add_test(NAME kestrel_identity COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/identity.sh $<TARGET_FILE:kestrel>
                                       ${CMAKE_CURRENT_SOURCE_DIR}/windows/xp_imports.txt)

add_executable(formsprobe windows/formsprobe.cpp)
target_link_options(formsprobe PRIVATE -municode -static)
target_compile_definitions(formsprobe PRIVATE UNICODE _UNICODE)
target_link_libraries(formsprobe PRIVATE user32 gdi32)
target_include_directories(formsprobe PRIVATE ${PROJECT_SOURCE_DIR}/check/windows)

# The forms, as real windows, driven from outside.
foreach(case login_layout login_empty_both login_empty_password login_empty_name login_confirm_blanks
             login_enter_in_password login_escape login_buttons login_ok_button login_close_box login_access_keys login_tab_order
             logo_layout main_layout main_focus
             fail_main_window fail_main_dpi fail_logo_window fail_logo_lock fail_logo_decode fail_login_dialog
             fail_main_codepage fail_login_codepage fail_logo_dpi fail_login_dpi usage_login_lock usage_logo_codepage
             usage_main_dialog)
  add_test(NAME forms_${case}
           COMMAND bash ${E2E}/forms.sh ${KESTREL_WINEPREFIX} $<TARGET_FILE:formsdemo>
                   $<TARGET_FILE:formsprobe> ${CMAKE_BINARY_DIR}/forms/logo.jpg ${case} $<TARGET_FILE:boxdriver>)
  # A COST starts them before the cases of a second or two (ctest takes the
  # costliest first where it has no times of its own yet, as in a fresh
  # clone), so that the run does not end waiting on a few long ones.
  set_tests_properties(forms_${case} PROPERTIES FIXTURES_REQUIRED wine SKIP_RETURN_CODE 77 TIMEOUT 120 COST 6)
endforeach()

# Test builds of kestrel.exe from its own sources: kestrel_variant(NAME
# DEFINITION) builds NAME with DEFINITION set.
#  - KESTREL_NO_MANIFEST: without its embedded manifest, as Windows XP reads
#    it when a manifest lies beside it;
#  - KESTREL_ELEVATION_SEAM: the plain start answers "elevation required"
#    once, so that the elevation road runs under Wine.
list(TRANSFORM KESTREL_EXE_SOURCES PREPEND ${PROJECT_SOURCE_DIR}/ OUTPUT_VARIABLE variant_sources)
# The stack guard outside the link-time optimisation, as in kestrel.exe.
set_source_files_properties(${PROJECT_SOURCE_DIR}/gate/windows/stack_guard.cpp PROPERTIES COMPILE_OPTIONS -fno-lto)
function(kestrel_variant name definition)
  add_executable(${name} WIN32 ${variant_sources})
  target_include_directories(${name} PRIVATE ${ICON_DIR} ${PROJECT_SOURCE_DIR}/resources ${CMAKE_CURRENT_SOURCE_DIR}/windows)
  target_compile_definitions(${name} PRIVATE ${definition})
  target_link_libraries(${name} PRIVATE forms_windows fleet_windows)
  target_compile_options(${name} PRIVATE ${KESTREL_LEAN_OPTIONS})
  target_link_options(${name} PRIVATE ${KESTREL_EXE_LINK_OPTIONS} -Wl,--require-defined=_kestrel_open_form)
  # The resource script takes the icons that kestrel's build draws; their
  # rule belongs to the top folder, so the order is kestrel's.
  add_dependencies(${name} kestrel)
endfunction()
kestrel_variant(kestrel_unmanifested KESTREL_NO_MANIFEST)
kestrel_variant(kestrel_elevation_seam KESTREL_ELEVATION_SEAM)
# The release check's careless kestrel.exe: its own sources, with its calls of
# GetCommandLineW, GetExitCodeProcess, GetSystemPowerStatus, WriteFile and
# SysStringLen, and its wWinMain, answered by windows/careless.cpp, which
# takes the fault from the environment (KESTREL_CARELESS). The fleet's Windows
# layer and the board's reading are compiled again into it, so that the
# renames reach them.
get_target_property(careless_windows_sources fleet_windows SOURCES)
list(TRANSFORM careless_windows_sources PREPEND ${PROJECT_SOURCE_DIR}/)
set_source_files_properties(windows/careless.cpp PROPERTIES COMPILE_OPTIONS -fno-lto)
kestrel_variant(kestrel_careless "GetCommandLineW=CarelessCommandLine;GetExitCodeProcess=CarelessExitCode;\
GetSystemPowerStatus=CarelessPowerStatus;WriteFile=CarelessWriteFile;SysStringLen=CarelessStringLen;\
wWinMain=KestrelWinMain")
target_sources(kestrel_careless PRIVATE windows/careless.cpp ${careless_windows_sources}
                                        ${PROJECT_SOURCE_DIR}/gate/windows/wmi_management.cpp)

# The internal failures, forced through the program's own runtime file.
add_executable(internalfail WIN32 windows/internalfail.cpp ${PROJECT_SOURCE_DIR}/gate/windows/runtime.cpp)
target_compile_options(internalfail PRIVATE ${KESTREL_LEAN_OPTIONS})
target_link_libraries(internalfail PRIVATE windows_base)
target_link_options(internalfail PRIVATE -municode -static)
foreach(failure alloc length started)
  add_test(NAME kestrel_internal_failure_${failure}
           COMMAND bash ${E2E}/internal.sh ${KESTREL_WINEPREFIX} $<TARGET_FILE:internalfail> $<TARGET_FILE:boxdriver> ${failure})
  set_tests_properties(kestrel_internal_failure_${failure} PROPERTIES FIXTURES_REQUIRED wine SKIP_RETURN_CODE 77
                                                                TIMEOUT 120)
endforeach()

# Signed with a throwaway certificate, the same bytes beneath.
add_test(NAME kestrel_signing
         COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/signing.sh ${PROJECT_SOURCE_DIR} $<TARGET_FILE:kestrel>
                 ${CMAKE_CURRENT_SOURCE_DIR}/windows/xp_imports.txt ${KESTREL_WINEPREFIX}
                 $<TARGET_FILE:boxdriver> $<TARGET_FILE:standin>)
set_tests_properties(kestrel_signing PROPERTIES FIXTURES_REQUIRED wine SKIP_RETURN_CODE 77 TIMEOUT 180 COST 8)
