# Quirometer.dll: the counting library as a 32-bit Windows DLL. The
# module-definition file fixes the export table (names and ordinals); the C++
# runtime is linked statically so the DLL imports only system DLLs.
add_library(Quirometer SHARED $<TARGET_OBJECTS:quirometer_objects> ${PROJECT_SOURCE_DIR}/src/api/Quirometer.def)
set_target_properties(Quirometer PROPERTIES PREFIX "" OUTPUT_NAME Quirometer)
target_link_options(Quirometer PRIVATE -static -static-libgcc -static-libstdc++ -Wl,--enable-stdcall-fixup)
target_link_libraries(Quirometer PRIVATE kernel32 user32)
