# The resource library: every number resolves, texts fit and take their arguments, tampered or
# foreign libraries are refused. Three fake libraries share the real one's interface.
foreach(fake long noabi oldabi)
  add_library(svres_fake_${fake} SHARED svres_fake.cpp)
  target_compile_options(svres_fake_${fake} PRIVATE ${SORVANI_WARNINGS})
  set_target_properties(svres_fake_${fake} PROPERTIES CXX_VISIBILITY_PRESET hidden AUTOMOC OFF)
endforeach()
target_compile_definitions(svres_fake_long PRIVATE SVRES_FAKE_ABI=1)
target_compile_definitions(svres_fake_noabi PRIVATE SVRES_FAKE_NO_ABI)
target_compile_definitions(svres_fake_oldabi PRIVATE SVRES_FAKE_ABI=99)

sorvani_qt_test(tst_ResourceLibrary SOURCES tst_resource_library.cpp)
add_dependencies(tst_ResourceLibrary svres svres_fake_long svres_fake_noabi svres_fake_oldabi)
target_compile_definitions(tst_ResourceLibrary PRIVATE
  SVRES_LIBRARY="$<TARGET_FILE:svres>"
  SVRES_FAKE_LONG="$<TARGET_FILE:svres_fake_long>"
  SVRES_FAKE_NOABI="$<TARGET_FILE:svres_fake_noabi>"
  SVRES_FAKE_OLDABI="$<TARGET_FILE:svres_fake_oldabi>"
  SVRES_IDS_HEADER="${PROJECT_SOURCE_DIR}/svres/res_ids.h")
