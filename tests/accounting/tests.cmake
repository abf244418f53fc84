# The accounting tests (store, journal, reports, and the backend run as a
# process with a fake wrapped backend) need no daemon; they exist when the
# accounting is built.
file(GLOB QM_ACCOUNTING_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/*.cpp)
if(QM_BUILD_ACCOUNTING)
  target_link_libraries(quirometer_tests PRIVATE quirometer_accounting)
  # A wrapped backend that only writes down the argv[0] it was given (a
  # script cannot see its own).
  add_executable(quirometer_argv0_backend ${CMAKE_CURRENT_LIST_DIR}/argv0_backend.c)
  add_dependencies(quirometer_tests quirometer_backend quirometer_argv0_backend)
  target_compile_definitions(quirometer_tests PRIVATE
    QM_BACKEND_PATH="$<TARGET_FILE:quirometer_backend>"
    QM_ARGV0_BACKEND_PATH="$<TARGET_FILE:quirometer_argv0_backend>")
else()
  set_source_files_properties(${QM_ACCOUNTING_TEST_SOURCES} TARGET_DIRECTORY quirometer_tests
                              PROPERTIES HEADER_FILE_ONLY ON)
endif()
