# Windows-only tests: the end-to-end runs of kestrel.exe under Wine and the
# checks of what the executable presents of itself.
add_executable(boxdriver windows/boxdriver.cpp)
target_link_options(boxdriver PRIVATE -municode -static)
target_compile_definitions(boxdriver PRIVATE UNICODE _UNICODE)
target_link_libraries(boxdriver PRIVATE user32)

add_executable(standin WIN32 windows/standin.cpp)
target_link_options(standin PRIVATE -municode -static)

# The planted-DLL test: a DLL that records its loading, and the control that
# loads one by bare name.
add_library(planted SHARED windows/planted.cpp)
set_target_properties(planted PROPERTIES PREFIX "")
target_link_options(planted PRIVATE -static)
add_executable(loadbare windows/loadbare.cpp)
target_link_options(loadbare PRIVATE -municode -static)

# One 32-bit Wine prefix for every test of this build, and one 64-bit prefix
# for the gate's runs under WoW64; the tests take turns with them.
set(KESTREL_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
set(KESTREL_WINEPREFIX64 ${CMAKE_BINARY_DIR}/wineprefix64)
set(WINE_SH ${CMAKE_CURRENT_SOURCE_DIR}/e2e/wine.sh)
add_test(NAME wine_prefix COMMAND bash ${WINE_SH} prefix ${KESTREL_WINEPREFIX} win32)
set_tests_properties(wine_prefix PROPERTIES FIXTURES_SETUP wine RESOURCE_LOCK wine)
add_test(NAME wine_prefix64 COMMAND bash ${WINE_SH} prefix ${KESTREL_WINEPREFIX64} win64)
set_tests_properties(wine_prefix64 PROPERTIES FIXTURES_SETUP wine64 RESOURCE_LOCK wine)
set_tests_properties(gate_tests PROPERTIES
  ENVIRONMENT "WINEDEBUG=-all;WINEPREFIX=${KESTREL_WINEPREFIX}"
  FIXTURES_REQUIRED wine RESOURCE_LOCK wine)

foreach(case accepted wrong_model utility_absent utility_in_cwd no_wmi planted_launch planted_wrong_model
             planted_control)
  add_test(NAME kestrel_wine_${case}
           COMMAND bash ${WINE_SH} case ${KESTREL_WINEPREFIX} $<TARGET_FILE:kestrel>
                   $<TARGET_FILE:boxdriver> $<TARGET_FILE:standin> ${case} $<TARGET_FILE:planted> $<TARGET_FILE:loadbare>)
  set_tests_properties(kestrel_wine_${case} PROPERTIES
    FIXTURES_REQUIRED wine RESOURCE_LOCK wine SKIP_RETURN_CODE 77 TIMEOUT 180)
endforeach()
foreach(case accepted wrong_model utility_in_cwd no_wmi)
  add_test(NAME kestrel_wine64_${case}
           COMMAND bash ${WINE_SH} case ${KESTREL_WINEPREFIX64} $<TARGET_FILE:kestrel>
                   $<TARGET_FILE:boxdriver> $<TARGET_FILE:standin> ${case})
  set_tests_properties(kestrel_wine64_${case} PROPERTIES
    FIXTURES_REQUIRED wine64 RESOURCE_LOCK wine SKIP_RETURN_CODE 77 TIMEOUT 180)
endforeach()

add_test(NAME kestrel_identity COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/identity.sh $<TARGET_FILE:kestrel>
                                       ${CMAKE_CURRENT_SOURCE_DIR}/windows/xp_imports.txt)

add_executable(formsprobe windows/formsprobe.cpp)
target_link_options(formsprobe PRIVATE -municode -static)
target_compile_definitions(formsprobe PRIVATE UNICODE _UNICODE)
target_link_libraries(formsprobe PRIVATE user32 gdi32)

# The forms, as real windows, driven from outside.
foreach(case login_layout login_empty_both login_empty_password login_empty_name login_confirm_blanks
             login_enter_in_password login_escape login_buttons login_ok_button login_close_box login_access_keys login_tab_order
             logo_layout main_layout main_focus
             fail_main_window fail_main_dpi fail_logo_window fail_logo_lock fail_logo_decode fail_login_dialog)
  add_test(NAME forms_${case}
           COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/e2e/forms.sh ${KESTREL_WINEPREFIX} $<TARGET_FILE:formsdemo>
                   $<TARGET_FILE:formsprobe> ${CMAKE_BINARY_DIR}/forms/logo.jpg ${case} $<TARGET_FILE:boxdriver>)
  set_tests_properties(forms_${case} PROPERTIES FIXTURES_REQUIRED wine RESOURCE_LOCK wine TIMEOUT 120)
endforeach()
