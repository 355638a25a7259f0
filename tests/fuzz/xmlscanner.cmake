# The sheet scanner against expat on the same bytes (differential).
if(TARGET veva_xlsx)
    find_package(PkgConfig REQUIRED)
    pkg_check_modules(FUZZ_EXPAT IMPORTED_TARGET expat)
    if(FUZZ_EXPAT_FOUND)
        veva_add_fuzzer(fuzz_xmlscanner SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_xmlscanner.cpp
                        LIBS veva_workbook PkgConfig::FUZZ_EXPAT INPUTS ${CMAKE_CURRENT_SOURCE_DIR}/seeds/fuzz_xmlscanner
                              ${CMAKE_CURRENT_SOURCE_DIR}/inputs/fuzz_xmlscanner)
    endif()
endif()
