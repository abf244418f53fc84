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
