# Windows-only tests: the end-to-end runs of kestrel.exe under Wine and the
# checks of what the executable presents of itself.
add_executable(boxdriver windows/boxdriver.cpp)
target_link_options(boxdriver PRIVATE -municode -static)
target_compile_definitions(boxdriver PRIVATE UNICODE _UNICODE)
target_link_libraries(boxdriver PRIVATE user32)

add_executable(standin WIN32 windows/standin.cpp)
target_link_options(standin PRIVATE -municode -static)

# One Wine prefix for every test of this build; the tests take turns with it.
set(KESTREL_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
set(WINE_SH ${CMAKE_CURRENT_SOURCE_DIR}/e2e/wine.sh)
add_test(NAME wine_prefix COMMAND bash ${WINE_SH} prefix ${KESTREL_WINEPREFIX})
set_tests_properties(wine_prefix PROPERTIES FIXTURES_SETUP wine RESOURCE_LOCK wine)
set_tests_properties(gate_tests PROPERTIES
  ENVIRONMENT "WINEDEBUG=-all;WINEPREFIX=${KESTREL_WINEPREFIX}"
  FIXTURES_REQUIRED wine RESOURCE_LOCK wine)

foreach(case accepted wrong_model utility_absent utility_in_cwd no_wmi)
  add_test(NAME kestrel_wine_${case}
           COMMAND bash ${WINE_SH} case ${KESTREL_WINEPREFIX} $<TARGET_FILE:kestrel>
                   $<TARGET_FILE:boxdriver> $<TARGET_FILE:standin> ${case})
  set_tests_properties(kestrel_wine_${case} PROPERTIES
    FIXTURES_REQUIRED wine RESOURCE_LOCK wine SKIP_RETURN_CODE 77 TIMEOUT 180)
endforeach()

add_test(NAME kestrel_identity COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/identity.sh $<TARGET_FILE:kestrel>)

add_executable(formsprobe windows/formsprobe.cpp)
target_link_options(formsprobe PRIVATE -municode -static)
target_compile_definitions(formsprobe PRIVATE UNICODE _UNICODE)
target_link_libraries(formsprobe PRIVATE user32 gdi32)

# The forms, as real windows, driven from outside.
foreach(case login_layout login_empty_both login_empty_password login_empty_name login_confirm_blanks
             login_enter_in_password login_escape login_buttons login_ok_button login_close_box login_access_keys login_tab_order
             logo_layout main_layout)
  add_test(NAME forms_${case}
           COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/e2e/forms.sh ${KESTREL_WINEPREFIX} $<TARGET_FILE:formsdemo>
                   $<TARGET_FILE:formsprobe> ${CMAKE_BINARY_DIR}/forms/logo.jpg ${case})
  set_tests_properties(forms_${case} PROPERTIES FIXTURES_REQUIRED wine RESOURCE_LOCK wine TIMEOUT 120)
endforeach()
