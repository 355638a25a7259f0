if(TARGET veva_app)
    veva_add_test(test_modemcommand SOURCES test_modemcommand.cpp GuiTestSupport.h LIBS veva_app veva_emulated_modem
        TIMEOUT 180)
    veva_add_test(test_parallelcommand SOURCES test_parallelcommand.cpp GuiTestSupport.h LIBS veva_app
        veva_emulated_modem TIMEOUT 180)
endif()
