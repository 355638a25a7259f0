#!/usr/bin/python3
"""Reads the first sheet of an .xls with xlrd and keeps the numbers of its
first column without duplicates, as the import does; prints the count and the
time taken (wall and CPU). Comparison for the command-line preview (BENCHMARKS.md):
    /usr/bin/python3 bench/xls_xlrd.py /tmp/bench-files/contacts.xls
"""
import sys
import time

import xlrd

start = time.perf_counter()
cpu = time.process_time()
book = xlrd.open_workbook(sys.argv[1], on_demand=True)
sheet = book.sheet_by_index(0)
seen = set()
numbers = []
for value in sheet.col_values(0) if sheet.ncols else []:
    if value == "":
        continue
    text = str(int(value)) if isinstance(value, float) and value.is_integer() else str(value)
    if text not in seen:
        seen.add(text)
        numbers.append(text)
book.release_resources()
print(f"{len(numbers)} numbers in {time.perf_counter() - start:.3f} s ({time.process_time() - cpu:.3f} s CPU)")
