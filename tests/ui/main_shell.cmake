sorvani_qt_test(tst_MainShell SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_main_shell.cpp)
