# The .xlsx reader, and the writers other tests make their workbooks with.
find_package(PkgConfig REQUIRED)
pkg_check_modules(XLSXWRITER IMPORTED_TARGET xlsxwriter)
pkg_check_modules(TEST_LIBZIP IMPORTED_TARGET libzip)
if(TARGET veva_xlsx AND XLSXWRITER_FOUND AND TEST_LIBZIP_FOUND)
    add_library(veva_xlsx_testwriter STATIC ${CMAKE_CURRENT_LIST_DIR}/XlsxTestWriter.cpp
                                            ${CMAKE_CURRENT_LIST_DIR}/XlsxTestWriter.h)
    target_include_directories(veva_xlsx_testwriter PUBLIC ${PROJECT_SOURCE_DIR}/tests)
    target_link_libraries(veva_xlsx_testwriter PUBLIC Qt6::Core PRIVATE PkgConfig::XLSXWRITER PkgConfig::TEST_LIBZIP)

    veva_add_test(test_xlsxreader SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_xlsxreader.cpp
                  LIBS veva_workbook veva_xlsx_testwriter)
    veva_add_test(test_xmlscanner SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_xmlscanner.cpp
                  LIBS veva_workbook veva_xlsx_testwriter)
endif()
