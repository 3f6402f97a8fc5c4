sorvani_qt_test(tst_FileList
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_file_list.cpp ${CMAKE_CURRENT_LIST_DIR}/ui_fixtures.cpp
  LIBS sv_testutil)
