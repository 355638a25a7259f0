veva_add_test(test_excelreader SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/test_excelreader.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/FakeWorkbook.h LIBS veva_import)
veva_add_test(test_contactimport SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/test_contactimport.cpp LIBS veva_import)
