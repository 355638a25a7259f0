# The .xls reader's tests, and the BIFF8 writer that other import tests and the
# benchmarks use to make their workbooks.
if(TARGET veva_xls)
    find_package(PkgConfig REQUIRED)
    pkg_check_modules(LIBGSF IMPORTED_TARGET libgsf-1)
    add_library(veva_biff8_testwriter STATIC
        ${CMAKE_CURRENT_SOURCE_DIR}/Biff8TestWriter.cpp ${CMAKE_CURRENT_SOURCE_DIR}/Biff8TestWriter.h)
    target_include_directories(veva_biff8_testwriter PUBLIC ${PROJECT_SOURCE_DIR}/tests)
    target_link_libraries(veva_biff8_testwriter PUBLIC Qt6::Core PRIVATE PkgConfig::LIBGSF)

    veva_add_test(test_xlsreader SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/test_xlsreader.cpp
        LIBS veva_workbook veva_biff8_testwriter)
endif()
