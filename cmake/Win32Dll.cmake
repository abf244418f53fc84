# Quirometer.dll: the counting library as a Windows DLL. The module-definition
# file fixes the export table (names and ordinals); the C++ runtime is linked
# statically so the DLL imports only system DLLs.
#
# The product is the 32-bit DLL. The 64-bit one is built from the same
# sources so that the code can really run here (under wine64); it exports the
# same names on the same ordinals.
#
# Both module-definition files are written from one list: the two entries
# that are not counters, then every row of the language table with its
# ordinal. Only the decoration differs: 32-bit counters are stdcall and their
# object-file names carry "@8"; x64 has a single calling convention and no
# decoration.

# ordinal|exported name|internal name (empty when the same)
set(QM_DLL_FIXED_EXPORTS
    "1|GetQuirometerVersion|"
    "2|?pdfreadLastError@@YAXPADH@Z|_Z16pdfreadLastErrorPci")

# The language table's rows: M(TAG, "language", ordinal, ...) or S(...).
set(QM_COUNTER_TABLE_FILE ${PROJECT_SOURCE_DIR}/src/api/counter_table.h)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${QM_COUNTER_TABLE_FILE})
file(READ ${QM_COUNTER_TABLE_FILE} qm_table)
string(REGEX MATCHALL "[MS]\\(([A-Za-z0-9_]+), \"[^\"]*\", ([0-9]+)," qm_rows "${qm_table}")
if(NOT qm_rows)
  message(FATAL_ERROR "no counter rows found in ${QM_COUNTER_TABLE_FILE}")
endif()

if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(qm_stdcall_suffix "")
else()
  set(qm_stdcall_suffix "@8")  # two pointer arguments
endif()

set(qm_def "LIBRARY Quirometer.dll\nEXPORTS\n")
set(qm_ordinals "")
foreach(entry ${QM_DLL_FIXED_EXPORTS})
  string(REGEX MATCH "^([0-9]+)\\|([^|]+)\\|(.*)$" _ "${entry}")
  set(ordinal "${CMAKE_MATCH_1}")
  set(name "${CMAKE_MATCH_2}")
  set(internal "${CMAKE_MATCH_3}")
  list(APPEND qm_ordinals ${ordinal})
  if(internal STREQUAL "")
    string(APPEND qm_def "    ${name} @${ordinal}\n")
  else()
    string(APPEND qm_def "    ${name} = ${internal} @${ordinal}\n")
  endif()
endforeach()
foreach(row ${qm_rows})
  string(REGEX MATCH "^[MS]\\(([A-Za-z0-9_]+), \"[^\"]*\", ([0-9]+),$" _ "${row}")
  set(name GetTotalPageCount_${CMAKE_MATCH_1})
  set(ordinal ${CMAKE_MATCH_2})
  if(ordinal IN_LIST qm_ordinals)
    message(FATAL_ERROR "ordinal ${ordinal} is given twice (${name})")
  endif()
  list(APPEND qm_ordinals ${ordinal})
  if(qm_stdcall_suffix STREQUAL "")
    string(APPEND qm_def "    ${name} @${ordinal}\n")
  else()
    string(APPEND qm_def "    ${name} = ${name}${qm_stdcall_suffix} @${ordinal}\n")
  endif()
endforeach()

# Rewritten only when the table changes, so a new configure does not relink.
set(QM_DEF_FILE ${CMAKE_BINARY_DIR}/Quirometer.def)
file(WRITE ${CMAKE_BINARY_DIR}/Quirometer.def.new "${qm_def}")
configure_file(${CMAKE_BINARY_DIR}/Quirometer.def.new ${QM_DEF_FILE} COPYONLY)

add_library(Quirometer SHARED $<TARGET_OBJECTS:quirometer_objects> ${QM_DEF_FILE})
set_target_properties(Quirometer PROPERTIES PREFIX "" OUTPUT_NAME Quirometer)
target_link_options(Quirometer PRIVATE -static -static-libgcc -static-libstdc++)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  target_link_options(Quirometer PRIVATE -Wl,--enable-stdcall-fixup)
endif()
target_link_libraries(Quirometer PRIVATE kernel32 user32)

# QuirometerAccurate.dll: the accurate path (detection, the accurate count,
# the pages one by one) for Windows hosts, beside Quirometer.dll and built
# from the same export objects plus the accurate ones. Its functions are
# cdecl in both widths, so the module-definition file names them plainly;
# zlib and the C++ runtime are linked in, so it too imports only system DLLs.
find_path(QM_MINGW_ZLIB_INCLUDE zlib.h)
find_library(QM_MINGW_ZLIB NAMES libz.a)
if(NOT QM_MINGW_ZLIB OR NOT QM_MINGW_ZLIB_INCLUDE)
  message(FATAL_ERROR "the static zlib of MinGW-w64 is missing (Debian package libz-mingw-w64-dev)")
endif()
# libqpdf is loaded at run time, when an encrypted PDF comes; only its C
# header is needed to build, and it is the same for every target.
find_path(QM_QPDF_INCLUDE qpdf/qpdf-c.h PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH NO_DEFAULT_PATH)
if(NOT QM_QPDF_INCLUDE)
  message(FATAL_ERROR "the header qpdf/qpdf-c.h is missing (Debian package libqpdf-dev)")
endif()
# The header alone, not the host's whole include folder.
set(QM_QPDF_HEADERS ${CMAKE_BINARY_DIR}/qpdf-headers)
file(MAKE_DIRECTORY ${QM_QPDF_HEADERS})
file(CREATE_LINK ${QM_QPDF_INCLUDE}/qpdf ${QM_QPDF_HEADERS}/qpdf SYMBOLIC)

add_library(quirometer_accurate_objects OBJECT ${QM_ACCURATE_SOURCES})
target_include_directories(quirometer_accurate_objects
  PRIVATE ${PROJECT_SOURCE_DIR}/include ${PROJECT_SOURCE_DIR}/src ${QM_MINGW_ZLIB_INCLUDE} ${QM_QPDF_HEADERS})
target_compile_definitions(quirometer_accurate_objects PRIVATE QUIROMETER_BUILDING)

set(QM_ACCURATE_DEF_FILE ${PROJECT_SOURCE_DIR}/cmake/QuirometerAccurate.def)
add_library(QuirometerAccurate SHARED $<TARGET_OBJECTS:quirometer_objects>
            $<TARGET_OBJECTS:quirometer_accurate_objects> ${QM_ACCURATE_DEF_FILE})
set_target_properties(QuirometerAccurate PROPERTIES PREFIX "" OUTPUT_NAME QuirometerAccurate)
# No stdcall fix-up: a function declared stdcall by mistake has a decorated
# name that the module-definition file does not name, and the link fails.
target_link_options(QuirometerAccurate PRIVATE -static -static-libgcc -static-libstdc++)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  target_link_options(QuirometerAccurate PRIVATE -Wl,--disable-stdcall-fixup)
endif()
# JPEG images are decoded by Windows' own imaging component, reached through
# COM (ole32).
target_link_libraries(QuirometerAccurate PRIVATE ${QM_MINGW_ZLIB} kernel32 user32 ole32 uuid)

# quirometer.exe: the command-line tool, the same sources as on Linux, linked
# with both object sets and nothing outside the system DLLs.
file(GLOB QM_TOOL_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tools/*.cpp)
add_executable(quirometer_cli ${QM_TOOL_SOURCES} $<TARGET_OBJECTS:quirometer_objects>
               $<TARGET_OBJECTS:quirometer_accurate_objects>)
set_target_properties(quirometer_cli PROPERTIES OUTPUT_NAME quirometer)
target_include_directories(quirometer_cli PRIVATE ${PROJECT_SOURCE_DIR}/include ${PROJECT_SOURCE_DIR}/src)
# The samples are found beside the tool (share/quirometer/samples, as
# installed) or, from the build tree, in the source tree.
target_compile_definitions(quirometer_cli PRIVATE QM_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
  QM_BUILD_DIR="${PROJECT_BINARY_DIR}" QM_INSTALL_DATADIR="share" QM_DATADIR_FROM_BINDIR="../share")
# The main thread reserves the 8 MiB stack of a Linux process, as the
# worker threads do (pool_win32.cpp).
target_link_options(quirometer_cli PRIVATE -static -static-libgcc -static-libstdc++ -Wl,--stack,8388608)
target_link_libraries(quirometer_cli PRIVATE ${QM_MINGW_ZLIB} kernel32 user32 shell32 ole32 uuid)
