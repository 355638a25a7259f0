# The .ods reader, on packages made with the .xlsx tests' raw package writer.
if(TARGET veva_ods AND TARGET veva_xlsx_testwriter)
    veva_add_test(test_odsreader SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/test_odsreader.cpp
                  LIBS veva_workbook veva_xlsx_testwriter)
endif()
