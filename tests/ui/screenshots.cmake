sorvani_qt_test(tst_Screenshots SOURCES tst_screenshots.cpp ${CMAKE_CURRENT_LIST_DIR}/ui_fixtures.cpp
                ${CMAKE_CURRENT_LIST_DIR}/fixture_session.cpp LIBS sv_testutil)
