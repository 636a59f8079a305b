#!/usr/bin/python3
"""Writes the sample inputs of a European export: an ERP export in Windows-1252 with
semicolons, quantities with dots between thousands and day-first dates (system_data_de.csv),
and a customer workbook saved while its "Notes" sheet was active, the orders on the sheet
"Orders" (customer_data_de.xlsx). Read them with match_european.json. Run once from this
folder; the output is committed."""
import datetime

import openpyxl

SYSTEM = [
    # PO, SO, SO_POS, QTY, RDD (as the ERP writes them)
    ("4500023001", "SO-990201", 10, "1.200", "03/02/2025"),
    ("4500023001", "SO-990201", 20, "400", "17/02/2025"),
    ("4500023002", "SO-990202", 10, "2.500", "05/03/2025"),
    ("4500023003", "SO-990203", 10, "12.000", "31/03/2025"),
    ("4500023004", "SO-990204", 10, "750", "ASAP"),
    ("4500023005", "SO-990205", 10, "1.000,5", "14/04/2025"),
    ("4500023006", "SO-990206", 10, "90", "02/05/2025"),
]

CUSTOMER = [
    # PO, QTY, RDD (a real date, a text or nothing)
    (4500023001, 1200, datetime.date(2025, 2, 3)),
    (4500023001, 400, datetime.date(2025, 2, 24)),
    (4500023002, 2500, "05/03/2025"),
    (4500023003, 12000, datetime.date(2025, 4, 7)),
    (4500023004, 750, None),
    (4500023005, 1000.5, datetime.date(2025, 4, 14)),
    (4500023099, 60, datetime.date(2025, 6, 2)),
]


def write_system():
    header = ["Werk", "VkOrg", "Kunde", "Name", "Strasse", "Ort", "Land", "PO", "SO", "SO_POS",
              "SO_SUFFIX", "QTY", "ME", "Preis", "Waehrung", "Status", "RDD"]
    with open("system_data_de.csv", "w", encoding="cp1252", newline="") as out:
        out.write(";".join(header) + "\r\n")
        for po, so, pos, qty, rdd in SYSTEM:
            row = ["DE01", "1000", "C-3001", "\"Gebr. Kühne; Armaturen\"", "Uferstraße 9",
                   "Düsseldorf", "DE", po, so, str(pos), "0", qty, "ST", "1.250,00", "EUR",
                   "offen", rdd]
            out.write(";".join(row) + "\r\n")


def write_customer():
    book = openpyxl.Workbook()
    orders = book.active
    orders.title = "Orders"
    orders["A1"] = "Offene Bestellungen, Gebr. Kühne"
    for column, title in {"A": "Artikel", "F": "Bestellnummer", "O": "Menge", "R": "Wunschtermin"}.items():
        orders[column + "2"] = title
    for i, (po, qty, rdd) in enumerate(CUSTOMER):
        row = 3 + i
        orders["A%d" % row] = "Kugelhahn DN%d" % (25 + 5 * i)
        orders["F%d" % row] = po
        orders["O%d" % row] = qty
        if rdd is not None:
            orders["R%d" % row] = rdd
            if isinstance(rdd, datetime.date):
                orders["R%d" % row].number_format = "dd.mm.yyyy"
    notes = book.create_sheet("Notes")
    notes["A1"] = "Stand: Februar 2025; Termine ohne Gewähr"
    book.active = 1
    book.save("customer_data_de.xlsx")


write_system()
write_customer()
