veva_add_test(test_textpool SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/test_textpool.cpp LIBS veva_workbook_model)
