# The .ods reader: packages whose content.xml repeats, covers and types cells.
if(TARGET veva_ods)
    veva_add_fuzzer(fuzz_ods SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_ods.cpp LIBS veva_workbook INPUTS
                    ${CMAKE_CURRENT_SOURCE_DIR}/seeds/fuzz_ods)
endif()
