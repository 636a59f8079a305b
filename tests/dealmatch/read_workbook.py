#!/usr/bin/python3
"""Prints an .xlsx workbook as JSON, read by openpyxl (a reader independent of torvane):
the sheets in order, each with its frozen cell, autofilter range, column widths, cells
(address -> [kind, value, number format, bold]) and conditional formats ([range, formulas]);
dates as ISO texts."""
import datetime
import json
import sys

import openpyxl


def cell_entry(cell):
    value = cell.value
    if isinstance(value, datetime.datetime):
        kind, value = "date", value.isoformat()
    elif isinstance(value, bool):
        kind = "bool"
    elif isinstance(value, (int, float)):
        kind = "number"
    else:
        kind = "text"
    return [kind, value, cell.number_format, bool(cell.font and cell.font.b)]


def main(path):
    book = openpyxl.load_workbook(path)
    sheets = []
    for sheet in book.worksheets:
        cells = {}
        for row in sheet.iter_rows():
            for cell in row:
                if cell.value is not None:
                    cells[cell.coordinate] = cell_entry(cell)
        widths = {key: dim.width for key, dim in sheet.column_dimensions.items() if dim.width}
        conditional = [[str(area.sqref), [formula for rule in area.rules for formula in rule.formula]]
                       for area in sheet.conditional_formatting]
        sheets.append({"name": sheet.title, "freeze": sheet.freeze_panes,
                       "filter": sheet.auto_filter.ref, "widths": widths, "cells": cells,
                       "conditional": conditional})
    json.dump({"active": book.active.title, "sheets": sheets}, sys.stdout)


if __name__ == "__main__":
    main(sys.argv[1])
