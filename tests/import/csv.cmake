veva_add_test(test_csv SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/test_csv.cpp LIBS veva_workbook veva_platform)
