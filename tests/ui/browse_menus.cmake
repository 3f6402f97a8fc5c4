# The browse view's context menus and selection commands: the rules alone, then the main window
# on a fake machine whose C: is the NTFS fixture.
sorvani_qt_test(tst_BrowseMenus SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_browse_menus.cpp
                ${CMAKE_CURRENT_LIST_DIR}/fake_machine.cpp
                LIBS sv_testutil)
add_dependencies(tst_BrowseMenus svres)
