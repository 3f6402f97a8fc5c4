sorvani_qt_test(tst_Screenshots SOURCES tst_screenshots.cpp LIBS sv_testutil)
