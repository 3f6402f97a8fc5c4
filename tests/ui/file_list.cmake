sorvani_qt_test(tst_FileList SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_file_list.cpp LIBS sv_testutil)
