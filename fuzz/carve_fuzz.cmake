# The carving fuzz target: include(carve_fuzz.cmake) from fuzz/CMakeLists.txt.
target_compile_options(sv_surfacescan PRIVATE -fsanitize=fuzzer-no-link,address,undefined)
add_executable(carve_fuzz ${CMAKE_CURRENT_LIST_DIR}/carve_fuzz.cpp)
target_compile_options(carve_fuzz PRIVATE ${SORVANI_WARNINGS} -fsanitize=fuzzer,address,undefined)
target_link_options(carve_fuzz PRIVATE -fsanitize=fuzzer,address,undefined)
target_link_libraries(carve_fuzz PRIVATE sv_surfacescan)
