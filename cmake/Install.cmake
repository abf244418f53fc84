# Install rules: header, shared and static library, the tool, man pages,
# sample jobs, pkg-config file, CMake package and Python package; and a Debian
# package through CPack.
include(GNUInstallDirs)
# Installing and packaging do not rebuild: they take what the build made.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY TRUE)
include(CMakePackageConfigHelpers)

install(TARGETS quirometer quirometer_static EXPORT QuirometerTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
        INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(TARGETS quirometer_cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/include/quirometer/quirometer.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/quirometer)
install(FILES ${PROJECT_SOURCE_DIR}/man/quirometer.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_SOURCE_DIR}/man/quirometer.3 DESTINATION ${CMAKE_INSTALL_MANDIR}/man3)

# The bundled sample jobs and their truth, for `quirometer samples`.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/samples/ DESTINATION ${CMAKE_INSTALL_DATADIR}/quirometer/samples
        PATTERN make.sh EXCLUDE)

# The Python package goes to the site folder of the prefix that the
# interpreter searches: lib/python3.X/dist-packages on Debian (on the path for
# /usr and /usr/local alike), lib/python3.X/site-packages elsewhere. It finds
# the library through _installed.py, the way from the package to the libdir.
find_package(Python3 COMPONENTS Interpreter QUIET)
if(Python3_Interpreter_FOUND)
  execute_process(COMMAND ${Python3_EXECUTABLE} -c
    "import sys, sysconfig; v = 'python%d.%d' % sys.version_info[:2]; print('lib/' + v + ('/dist-packages' if 'deb_system' in sysconfig.get_scheme_names() else '/site-packages'))"
    OUTPUT_VARIABLE QM_PYTHON_SITEDIR_DEFAULT OUTPUT_STRIP_TRAILING_WHITESPACE)
else()
  set(QM_PYTHON_SITEDIR_DEFAULT lib/python3/dist-packages)
endif()
set(QM_PYTHON_SITEDIR ${QM_PYTHON_SITEDIR_DEFAULT} CACHE STRING
    "Where the Python package is installed, relative to the install prefix")
install(DIRECTORY ${PROJECT_SOURCE_DIR}/python/quirometer DESTINATION ${QM_PYTHON_SITEDIR}
        FILES_MATCHING PATTERN "*.py" PATTERN _installed.py EXCLUDE PATTERN __pycache__ EXCLUDE)
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}")
  set(QM_PYTHON_TO_LIBDIR ${CMAKE_INSTALL_LIBDIR})
else()
  file(RELATIVE_PATH QM_PYTHON_TO_LIBDIR /prefix/${QM_PYTHON_SITEDIR}/quirometer /prefix/${CMAKE_INSTALL_LIBDIR})
endif()
file(CONFIGURE OUTPUT ${PROJECT_BINARY_DIR}/python/_installed.py
     CONTENT "# Written by cmake --install: the library's folder, from this package's.\nLIBRARY_DIR = \"${QM_PYTHON_TO_LIBDIR}\"\n")
install(FILES ${PROJECT_BINARY_DIR}/python/_installed.py DESTINATION ${QM_PYTHON_SITEDIR}/quirometer)

# What links with the library besides itself, read from its targets once the
# whole project is configured (a dependency may be added after this file):
# the pkg-config file's Libs.private and Requires.private, so that
# `pkg-config --static` links the archive, and the CMake package's
# find_dependency lines. The C++ runtime is always there: C programs link
# the archive with the C compiler.
find_package(PkgConfig QUIET)
function(qm_link_dependency name)  # -> the caller's requires or libs
  set(modules ${name} lib${name})
  if(name STREQUAL "z")
    set(modules zlib)
  endif()
  if(PKG_CONFIG_EXECUTABLE)
    foreach(module ${modules})
      execute_process(COMMAND ${PKG_CONFIG_EXECUTABLE} --exists ${module} RESULT_VARIABLE missing)
      if(NOT missing)
        set(requires ${requires} ${module} PARENT_SCOPE)
        return()
      endif()
    endforeach()
  endif()
  set(libs ${libs} -l${name} PARENT_SCOPE)
endfunction()
function(qm_write_package_files)
  set(libs -lstdc++ -lm)
  set(requires)
  set(packages Threads)
  set(items)
  foreach(target quirometer quirometer_static quirometer_objects)
    foreach(property LINK_LIBRARIES INTERFACE_LINK_LIBRARIES)
      get_target_property(list ${target} ${property})
      if(list)
        list(APPEND items ${list})
      endif()
    endforeach()
  endforeach()
  set(seen)
  while(items)
    list(POP_FRONT items item)
    string(REGEX REPLACE "^\\$<LINK_ONLY:(.*)>$" "\\1" item "${item}")
    if(item IN_LIST seen OR item MATCHES "^\\$<" OR item MATCHES "^quirometer")
      continue()
    endif()
    list(APPEND seen "${item}")
    if(item STREQUAL "Threads::Threads" OR item STREQUAL "-pthread")
      list(APPEND libs -lpthread)
    elseif(TARGET ${item})
      if(item MATCHES "^([A-Za-z0-9_]+)::" AND NOT CMAKE_MATCH_1 STREQUAL "PkgConfig")
        list(APPEND packages ${CMAKE_MATCH_1})
      endif()
      foreach(property IMPORTED_LOCATION IMPORTED_LOCATION_RELEASE IMPORTED_LOCATION_NOCONFIG
                       INTERFACE_LINK_LIBRARIES)
        get_target_property(more ${item} ${property})
        if(more)
          list(APPEND items ${more})
        endif()
      endforeach()
    elseif(item MATCHES "^-l(.+)$")
      qm_link_dependency(${CMAKE_MATCH_1})
    elseif(item MATCHES "/lib([^/]+)\\.(so|a)(\\.[0-9.]+)?$")
      qm_link_dependency(${CMAKE_MATCH_1})
    elseif(item MATCHES "^([A-Za-z0-9_+]+)$")
      qm_link_dependency(${CMAKE_MATCH_1})
    endif()
  endwhile()
  list(REMOVE_DUPLICATES libs)
  list(REMOVE_DUPLICATES requires)
  list(REMOVE_DUPLICATES packages)
  list(JOIN libs " " QM_PC_LIBS_PRIVATE)
  list(JOIN requires ", " QM_PC_REQUIRES_PRIVATE)
  set(QM_CONFIG_DEPENDENCIES)
  foreach(package ${packages})
    string(APPEND QM_CONFIG_DEPENDENCIES "find_dependency(${package})\n")
  endforeach()
  file(RELATIVE_PATH QM_PC_TO_PREFIX /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/quirometer.pc.in ${PROJECT_BINARY_DIR}/quirometer.pc @ONLY)
  configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/QuirometerConfig.cmake.in
                                ${PROJECT_BINARY_DIR}/QuirometerConfig.cmake INSTALL_DESTINATION ${QM_CMAKE_DIR})
endfunction()
cmake_language(DEFER DIRECTORY ${PROJECT_SOURCE_DIR} CALL qm_write_package_files)

install(FILES ${PROJECT_BINARY_DIR}/quirometer.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
set(QM_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Quirometer)
install(EXPORT QuirometerTargets NAMESPACE Quirometer:: DESTINATION ${QM_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/QuirometerConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/QuirometerConfig.cmake ${PROJECT_BINARY_DIR}/QuirometerConfigVersion.cmake
        DESTINATION ${QM_CMAKE_DIR})

set(CPACK_PACKAGE_NAME quirometer)
set(CPACK_PACKAGE_VENDOR "Quirometer developers")
set(CPACK_PACKAGE_CONTACT "Quirometer developers <quirometer@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "page counting of print jobs for print accounting")
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS OFF)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libstdc++6, zlib1g, libjpeg62-turbo")
# Encrypted PDFs are opened through libqpdf, loaded when one comes.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libqpdf29")
# The accounting backend and commands: SQLite always, libpq (loaded when a
# PostgreSQL store is opened) for PostgreSQL stores.
if(QM_BUILD_ACCOUNTING)
  string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS ", libsqlite3-0")
  string(APPEND CPACK_DEBIAN_PACKAGE_RECOMMENDS ", libpq5")
endif()
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "python3")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
include(CPack)
