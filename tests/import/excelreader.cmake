veva_add_test(test_excelreader SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/test_excelreader.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/FakeWorkbook.h LIBS veva_import)
veva_add_test(test_contactimport SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/test_contactimport.cpp LIBS veva_import)

# Workbooks of either kind from one description, for tests that run both readers.
if(TARGET veva_xlsx_testwriter AND TARGET veva_biff8_testwriter)
    add_library(veva_test_workbooks STATIC ${CMAKE_CURRENT_SOURCE_DIR}/TestWorkbooks.cpp
                                           ${CMAKE_CURRENT_SOURCE_DIR}/TestWorkbooks.h)
    target_link_libraries(veva_test_workbooks PUBLIC veva_xlsx_testwriter veva_biff8_testwriter)
    target_include_directories(veva_test_workbooks PUBLIC ${PROJECT_SOURCE_DIR}/tests/import)
    # The reader's caches are tried against real files.
    target_link_libraries(test_excelreader PRIVATE veva_test_workbooks)
    target_compile_definitions(test_excelreader PRIVATE VEVA_TEST_WORKBOOKS)
    veva_add_test(test_contactpreview SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/test_contactpreview.cpp
        LIBS veva_import veva_test_workbooks)
endif()
