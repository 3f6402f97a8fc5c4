# The file list's columns and the splitter kept in the profile across restarts of the main window.
sorvani_qt_test(tst_Layout SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_layout.cpp)
add_dependencies(tst_Layout svres)
