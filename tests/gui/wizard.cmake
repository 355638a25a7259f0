if(TARGET veva_wizard_gui)
    veva_add_test(test_connectionwizard SOURCES test_connectionwizard.cpp GuiTestSupport.h
                  LIBS veva_wizard_gui veva_emulated_modem TIMEOUT 90)
endif()
if(TARGET veva_wizard_gui AND TARGET veva_gateway)
    veva_add_test(test_gatewaydialog SOURCES test_gatewaydialog.cpp GuiTestSupport.h LIBS veva_wizard_gui TIMEOUT 60)
endif()
# The send command through a gateway.
if(TARGET veva_app)
    veva_add_test(test_gatewaycommand SOURCES test_gatewaycommand.cpp GuiTestSupport.h LIBS veva_app TIMEOUT 120)
endif()
