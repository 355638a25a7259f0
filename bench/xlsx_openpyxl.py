#!/usr/bin/python3
"""Reads the first sheet of an .xlsx with openpyxl (read-only mode) and keeps
the numbers of its first column without duplicates, as the import does; prints
the count and the time taken (wall and CPU). Comparison for bench_xlsx (BENCHMARKS.md):
    build/bin/veva_bench_xlsx --write-sample /tmp/contacts.xlsx
    /usr/bin/python3 bench/xlsx_openpyxl.py /tmp/contacts.xlsx
"""
import sys
import time

import openpyxl

start = time.perf_counter()
cpu = time.process_time()
book = openpyxl.load_workbook(sys.argv[1], read_only=True)
sheet = book.worksheets[0]
seen = set()
numbers = []
for row in sheet.iter_rows(values_only=True):
    value = row[0] if row else None
    if value is None:
        continue
    text = str(int(value)) if isinstance(value, float) and value.is_integer() else str(value)
    if text not in seen:
        seen.add(text)
        numbers.append(text)
book.close()
print(f"{len(numbers)} numbers in {time.perf_counter() - start:.3f} s ({time.process_time() - cpu:.3f} s CPU)")
