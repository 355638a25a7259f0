veva_add_test(test_numberformat SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/test_numberformat.cpp LIBS veva_workbook_model)
