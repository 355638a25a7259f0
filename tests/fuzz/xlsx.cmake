veva_add_fuzzer(fuzz_xlsx SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_xlsx.cpp LIBS veva_workbook INPUTS
                ${CMAKE_CURRENT_SOURCE_DIR}/seeds/fuzz_xlsx ${CMAKE_CURRENT_SOURCE_DIR}/inputs/fuzz_xlsx)
