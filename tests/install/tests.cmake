# The library installs and is found the usual ways; the example builds.
add_test(NAME Install.ConsumersAndPackage COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/check_install.sh ${CMAKE_BINARY_DIR})
set_tests_properties(Install.ConsumersAndPackage PROPERTIES TIMEOUT 600)
