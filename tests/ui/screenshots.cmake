sorvani_qt_test(tst_Screenshots SOURCES tst_screenshots.cpp fixture_session.cpp LIBS sv_testutil)
