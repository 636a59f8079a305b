#!/usr/bin/python3
"""Compares two result workbooks cell by cell, as openpyxl reads them: sheet names and order,
each cell's value, type, number format and boldness, frozen cell, filter range and column
widths. Prints the first differences and exits 1 when there are any, 0 when they are the same.

Usage: same_cells.py before.xlsx after.xlsx"""
import sys

import openpyxl


def sheet_facts(path):
    book = openpyxl.load_workbook(path, read_only=True)
    facts = []
    for sheet in book.worksheets:
        rows = []
        for row in sheet.iter_rows():
            rows.append([(cell.value, type(cell.value).__name__, cell.number_format,
                          bool(cell.font and cell.font.b)) for cell in row
                         if getattr(cell, "value", None) is not None])
        facts.append((sheet.title, rows))
    book.close()
    # Sheet settings are not read in read-only mode.
    book = openpyxl.load_workbook(path, read_only=False) if len(facts[0][1]) < 50000 else None
    settings = []
    if book is not None:
        for sheet in book.worksheets:
            widths = {key: dim.width for key, dim in sheet.column_dimensions.items() if dim.width}
            settings.append((sheet.title, sheet.freeze_panes, sheet.auto_filter.ref, widths))
    return facts, settings


def main(before, after):
    (facts_a, settings_a), (facts_b, settings_b) = sheet_facts(before), sheet_facts(after)
    differences = []
    if [name for name, _ in facts_a] != [name for name, _ in facts_b]:
        differences.append(f"sheets {[n for n, _ in facts_a]} != {[n for n, _ in facts_b]}")
    for (name, rows_a), (_, rows_b) in zip(facts_a, facts_b):
        if len(rows_a) != len(rows_b):
            differences.append(f"{name}: {len(rows_a)} rows != {len(rows_b)} rows")
        for number, (row_a, row_b) in enumerate(zip(rows_a, rows_b), start=1):
            if row_a != row_b:
                differences.append(f"{name} row {number}: {row_a} != {row_b}")
    if settings_a and settings_b and settings_a != settings_b:
        differences.append(f"settings {settings_a} != {settings_b}")
    for line in differences[:20]:
        print(line)
    cells = sum(len(row) for _, rows in facts_a for row in rows)
    print(f"{'DIFFERENT' if differences else 'same'}: {cells} cells in {len(facts_a)} sheets"
          + ("" if settings_a else " (sheet settings not compared: too large)"))
    return 1 if differences else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2]))
