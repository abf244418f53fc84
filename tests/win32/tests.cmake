# The 32-bit Windows targets (Quirometer.dll, QuirometerAccurate.dll,
# quirometer.exe) are cross-built with warnings as errors and their export
# and import tables checked. A cold build of all three takes a while on two
# cores.
add_test(NAME Win32Dll.ExportsAndImports
         COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/check_dll.sh ${CMAKE_BINARY_DIR}/win32-dll)
set_tests_properties(Win32Dll.ExportsAndImports PROPERTIES TIMEOUT 1800)
