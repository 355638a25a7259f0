if(TARGET veva_wizard_gui)
    veva_add_test(test_connectionwizard SOURCES test_connectionwizard.cpp GuiTestSupport.h
                  LIBS veva_wizard_gui veva_emulated_modem TIMEOUT 90)
endif()
if(TARGET veva_wizard_gui AND TARGET veva_gateway)
    veva_add_test(test_gatewaydialog SOURCES test_gatewaydialog.cpp GuiTestSupport.h LIBS veva_wizard_gui TIMEOUT 60)
endif()
