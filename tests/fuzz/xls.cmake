# The .xls reader: whole containers, and bare workbook streams wrapped in one.
if(TARGET veva_xls AND TARGET veva_biff8_testwriter)
    veva_add_fuzzer(fuzz_xls SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_xls.cpp LIBS veva_workbook veva_biff8_testwriter
        INPUTS ${CMAKE_CURRENT_SOURCE_DIR}/seeds/fuzz_xls ${CMAKE_CURRENT_SOURCE_DIR}/inputs/fuzz_xls)
endif()
