# Install rules: header, shared and static library, the tool, man pages,
# pkg-config file and CMake package; and a Debian package through CPack.
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

file(RELATIVE_PATH QM_PC_TO_PREFIX /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
configure_file(${PROJECT_SOURCE_DIR}/cmake/quirometer.pc.in ${PROJECT_BINARY_DIR}/quirometer.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/quirometer.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

set(QM_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Quirometer)
install(EXPORT QuirometerTargets NAMESPACE Quirometer:: DESTINATION ${QM_CMAKE_DIR})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/QuirometerConfig.cmake.in
                              ${PROJECT_BINARY_DIR}/QuirometerConfig.cmake INSTALL_DESTINATION ${QM_CMAKE_DIR})
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
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libstdc++6, zlib1g")
# Encrypted PDFs are opened through libqpdf, loaded when one comes.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libqpdf29")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
include(CPack)
