# The browse view of the main window on a fake machine: real indexing of the NTFS fixture,
# the list of existing and deleted items, the drive rules, re-indexing and the reveal walk.
sorvani_qt_test(tst_BrowseView SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_browse_view.cpp
                ${CMAKE_CURRENT_LIST_DIR}/fake_machine.cpp LIBS sv_testutil)
add_dependencies(tst_BrowseView svres)
