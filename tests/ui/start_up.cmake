sorvani_qt_test(tst_StartUp SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_start_up.cpp)
add_dependencies(tst_StartUp sorvani-recovery)
