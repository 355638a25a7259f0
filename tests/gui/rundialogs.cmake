if(TARGET veva_run_dialogs)
    veva_add_test(test_rundialogs SOURCES test_rundialogs.cpp GuiTestSupport.h LIBS veva_run_dialogs)
    veva_add_test(test_cfirst SOURCES test_cfirst.cpp GuiTestSupport.h LIBS veva_run_dialogs)
endif()
