# Workbooks saved by spreadsheet programs, checked in with the script that made them.
veva_add_test(test_savedworkbooks SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/test_savedworkbooks.cpp LIBS veva_workbook)
target_compile_definitions(test_savedworkbooks PRIVATE VEVA_TEST_DATA="${CMAKE_CURRENT_SOURCE_DIR}/data")
