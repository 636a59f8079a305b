#!/usr/bin/python3
"""Writes the sample inputs of the dealmatch demo: an ERP export (system_data.csv, UTF-8 with a
byte-order mark, semicolons) and a customer workbook saved by openpyxl (customer_data.xlsx).
Run once from this folder; the output is committed."""
import datetime

import openpyxl

SYSTEM = [
    # PO, SO, SO_POS, QTY, RDD (as the ERP writes it)
    ("4500017001", "SO-880101", 10, 120, "2024-11-28"),
    ("4500017001", "SO-880101", 20, 40, "2024-12-05"),
    ("4500017002", "SO-880102", 10, 75, "16.12.2024"),
    ("4500017003", "SO-880103", 10, 300, "2025-01-09"),
    ("4500017003", "SO-880103", 20, 300, "2025-01-23"),
    ("4500017004", "SO-880104", 10, 18, ""),
    ("4500017005", "SO-880105", 10, 60, "2025-02-30"),
    ("4500017006", "SO-880106", 10, 25, "2025-02-14"),
    ("4500017007", "SO-880107", 10, 90, "2025-03-03"),
    ("4500017008", "SO-880108", 10, 12, "2025-03-17"),
]

CUSTOMER = [
    # PO, QTY, RDD (a real date, a text or nothing)
    (4500017001, 120, datetime.date(2024, 12, 2)),
    (4500017001, 40, datetime.date(2024, 12, 9)),
    ("4500017002", 75, "2024-12-20"),
    (4500017003, 300, datetime.date(2025, 1, 15)),
    (4500017004, 18, None),
    (4500017005, 60, datetime.date(2025, 2, 28)),
    (4500017006, 30, datetime.date(2025, 2, 14)),
    (4500017007, 90, "03/10/2025"),
    (4500017099, 5, datetime.date(2025, 4, 1)),
]


def write_system():
    header = ["Plant", "Sales org", "Customer", "Name", "Street", "City", "Country", "PO", "SO",
              "SO_POS", "SO_SUFFIX", "QTY", "Unit", "Price", "Currency", "Status", "RDD"]
    with open("system_data.csv", "w", encoding="utf-8-sig", newline="") as out:
        out.write(";".join(header) + "\r\n")
        for po, so, pos, qty, rdd in SYSTEM:
            row = ["DE01", "1000", "C-2001", "\"Müller & Söhne; Anlagenbau\"", "Hafenstraße 4",
                   "Köln", "DE", po, so, str(pos), "0", str(qty), "PCS", "12,50", "EUR", "open",
                   rdd]
            out.write(";".join(row) + "\r\n")


def write_customer():
    book = openpyxl.Workbook()
    sheet = book.active
    sheet.title = "Open orders"
    sheet["A1"] = "Open purchase orders, Müller & Söhne"
    for column, title in {"A": "Item", "F": "PO number", "O": "Quantity", "R": "Requested"}.items():
        sheet[column + "2"] = title
    for i, (po, qty, rdd) in enumerate(CUSTOMER):
        row = 3 + i
        sheet["A%d" % row] = "Flange DN%d" % (50 + 10 * i)
        sheet["F%d" % row] = po
        sheet["O%d" % row] = qty
        if rdd is not None:
            sheet["R%d" % row] = rdd
            if isinstance(rdd, datetime.date):
                sheet["R%d" % row].number_format = "dd.mm.yyyy"
    book.save("customer_data.xlsx")


write_system()
write_customer()
