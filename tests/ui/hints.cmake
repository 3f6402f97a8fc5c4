# The browse view's one-time hints and its "folder filled" sound, on a fake machine.
sorvani_qt_test(tst_Hints SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_hints.cpp
                ${CMAKE_CURRENT_LIST_DIR}/fake_machine.cpp LIBS sv_testutil)
add_dependencies(tst_Hints svres)
