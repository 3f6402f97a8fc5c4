# The drive side of the browse view on a fake machine: the drive tree, drive selection and drive
# properties; the indexing dialog on real indexing of the fixtures.
sorvani_qt_test(tst_DriveTree SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_drive_tree.cpp
                ${CMAKE_CURRENT_LIST_DIR}/fake_machine.cpp LIBS sv_testutil)
sorvani_qt_test(tst_IndexDialog SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_index_dialog.cpp
                LIBS sv_testutil)
# Both load the resource library from beside the program.
add_dependencies(tst_DriveTree svres)
add_dependencies(tst_IndexDialog svres)
