# The folder tree, the properties dialog and the browse view's recovery selections, on the
# committed fixtures (indexed through a session of the test's own).
sorvani_qt_test(tst_FolderTree SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_folder_tree.cpp LIBS sv_testutil)
sorvani_qt_test(tst_Properties SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_properties.cpp LIBS sv_testutil)
sorvani_qt_test(tst_BrowseSelection
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_browse_selection.cpp
          ${PROJECT_SOURCE_DIR}/tests/recovery/recovery_test_util.cpp
  LIBS sv_testutil)
foreach(t tst_FolderTree tst_Properties tst_BrowseSelection)
  add_dependencies(${t} svres)
endforeach()
