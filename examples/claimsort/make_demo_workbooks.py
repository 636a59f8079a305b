#!/usr/bin/python3
"""Writes the demo expense workbooks under data_claimsort/ with python3-openpyxl. Run once from
this folder; the output is committed."""
import datetime
import os

import openpyxl
from openpyxl.styles import Font

CLAIMS = [
    ("claim_01.xlsx", "Alice Martin", 120.5),
    ("claim_02.xlsx", "Bruno / Sales: EMEA", 1234),
    ("claim_03.xlsx", "Chloé Dubois", datetime.datetime(2024, 3, 7)),  # amount typed as a date
    ("claim_04.xlsx", None, 88.2),  # name cell left empty
    ("claim_05.xlsx", "  Dario Rossi  ", 0.75),
]

os.makedirs("data_claimsort", exist_ok=True)
for file_name, name, amount in CLAIMS:
    wb = openpyxl.Workbook()
    ws = wb.active
    ws.title = "Claim"
    ws["A1"] = "Expense claim"
    ws["A1"].font = Font(bold=True, size=14)
    ws["B6"] = "Name:"
    if name is not None:
        ws["D6"] = name
    for row, (item, cost) in enumerate([("Train", 42.0), ("Hotel", 61.5), ("Meals", 17.0)], 10):
        ws.cell(row=row, column=2, value=item)
        ws.cell(row=row, column=16, value=cost)
    ws["N56"] = "Total:"
    ws["P56"] = amount
    wb.save(os.path.join("data_claimsort", file_name))
