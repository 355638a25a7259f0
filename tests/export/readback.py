"""Reads an exported file back with an independent reader and prints it as JSON.

usage: readback.py xls|xlsx|html FILE
  xls   (xlrd):     {"sheets": [{"name", "rows": [[[type, value], ...], ...]}]}
  xlsx  (openpyxl): the same; type is openpyxl's data type, dates as ISO text
  html  (html.parser): {"cells": [text of each innermost td], "tags": [start tags]}
"""
import datetime
import json
import re
import sys
from html.parser import HTMLParser


def read_xls(path):
    import xlrd
    book = xlrd.open_workbook(path)
    names = {xlrd.XL_CELL_EMPTY: "empty", xlrd.XL_CELL_TEXT: "s", xlrd.XL_CELL_NUMBER: "n",
             xlrd.XL_CELL_DATE: "d", xlrd.XL_CELL_BOOLEAN: "b", xlrd.XL_CELL_ERROR: "e",
             xlrd.XL_CELL_BLANK: "empty"}
    sheets = []
    for sheet in book.sheets():
        rows = [[[names[c.ctype], c.value] for c in sheet.row(r)] for r in range(sheet.nrows)]
        sheets.append({"name": sheet.name, "rows": rows})
    return {"sheets": sheets}


def unescape_xstring(text):
    # Control characters are stored as _xHHHH_ (ECMA-376 ST_Xstring); this
    # openpyxl leaves them escaped.
    return re.sub(r"_x([0-9A-Fa-f]{4})_", lambda m: chr(int(m.group(1), 16)), text)


def read_xlsx(path):
    import openpyxl
    book = openpyxl.load_workbook(path)
    sheets = []
    for sheet in book.worksheets:
        rows = []
        for row in sheet.iter_rows():
            cells = []
            for c in row:
                value = c.value
                if isinstance(value, (datetime.datetime, datetime.date)):
                    value = value.isoformat()
                elif isinstance(value, str):
                    value = unescape_xstring(value)
                cells.append([c.data_type if value is not None else "empty", value])
            rows.append(cells)
        sheets.append({"name": sheet.title, "rows": rows})
    return {"sheets": sheets}


class Cells(HTMLParser):
    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.cells, self.tags, self.current = [], [], None

    def handle_starttag(self, tag, attrs):
        self.tags.append(tag)
        if tag == "td":
            self.current = ""
        elif tag == "br" and self.current is not None:
            self.current += "\n"

    def handle_endtag(self, tag):
        if tag == "td" and self.current is not None:
            self.cells.append(self.current)
            self.current = None

    def handle_data(self, data):
        if self.current is not None:
            self.current += data


def read_html(path):
    with open(path, "rb") as f:
        raw = f.read()
    if not raw.startswith(b"\xff\xfe"):
        raise SystemExit("no UTF-16LE byte-order mark")
    parser = Cells()
    parser.feed(raw[2:].decode("utf-16-le"))
    parser.close()
    return {"cells": parser.cells, "tags": parser.tags}


if __name__ == "__main__":
    kind, path = sys.argv[1], sys.argv[2]
    reader = {"xls": read_xls, "xlsx": read_xlsx, "html": read_html}[kind]
    json.dump(reader(path), sys.stdout, ensure_ascii=True)
