if(TARGET veva_import_gui)
    veva_add_test(test_loadcontacts SOURCES test_loadcontacts.cpp GuiTestSupport.h LIBS veva_import_gui)
    veva_add_test(test_excelinfodlg SOURCES test_excelinfodlg.cpp GuiTestSupport.h LIBS veva_import_gui)
endif()
