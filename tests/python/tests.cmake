# The Python package over the library just built.
add_test(NAME Python.Package COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/run.sh $<TARGET_FILE:quirometer>)
set_tests_properties(Python.Package PROPERTIES TIMEOUT 300)
