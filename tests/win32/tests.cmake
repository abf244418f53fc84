# The Windows DLL is cross-built and its export and import tables checked.
add_test(NAME Win32Dll.ExportsAndImports
         COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/check_dll.sh ${CMAKE_BINARY_DIR}/win32-dll)
set_tests_properties(Win32Dll.ExportsAndImports PROPERTIES TIMEOUT 900)
