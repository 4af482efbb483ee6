# The setup program built, installed, run and uninstalled under Wine, in a prefix of its
# own: kiln.exe takes the instance mutex, which the other tests' kiln.exe runs must not meet.
set(KILN_INSTALLER_PREFIX ${CMAKE_BINARY_DIR}/installer-prefix)
set(KILN_INSTALLER_ENVIRONMENT WINEPREFIX=${KILN_INSTALLER_PREFIX} WINEDEBUG=-all
  "WINEDLLOVERRIDES=mscoree,mshtml=")
add_test(NAME kiln_windows_installer_prefix
  COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/prepare_wine_prefix.sh)
set_tests_properties(kiln_windows_installer_prefix PROPERTIES LABELS windows TIMEOUT 300
  FIXTURES_SETUP kiln_installer_prefix ENVIRONMENT "${KILN_INSTALLER_ENVIRONMENT}")
add_test(NAME kiln_windows_installer
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/installer_test.sh ${CMAKE_CPACK_COMMAND}
          ${CMAKE_BINARY_DIR} $<TARGET_FILE:kiln-demo-folder>)
set_tests_properties(kiln_windows_installer PROPERTIES LABELS windows TIMEOUT 300
  FIXTURES_REQUIRED kiln_installer_prefix ENVIRONMENT "${KILN_INSTALLER_ENVIRONMENT}")
