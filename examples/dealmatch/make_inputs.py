#!/usr/bin/python3
"""Writes the sample inputs of the dealmatch demo. The first pair: an ERP export
(system_data.csv, UTF-8 with a byte-order mark, semicolons) and a customer workbook saved by
openpyxl (customer_data.xlsx). The second, a European export read with match_european.json: the
ERP export in Windows-1252 with dots between thousands and day-first dates (system_data_de.csv),
and a customer workbook saved while its "Notes" sheet was active, the orders on the sheet
"Orders" (customer_data_de.xlsx). Run once from this folder; the output is committed."""
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


EUROPEAN_SYSTEM = [
    # PO, SO, SO_POS, QTY, RDD (as the ERP writes them)
    ("4500023001", "SO-990201", 10, "1.200", "03/02/2025"),
    ("4500023001", "SO-990201", 20, "400", "17/02/2025"),
    ("4500023002", "SO-990202", 10, "2.500", "05/03/2025"),
    ("4500023003", "SO-990203", 10, "12.000", "31/03/2025"),
    ("4500023004", "SO-990204", 10, "750", "ASAP"),
    ("4500023005", "SO-990205", 10, "1.000,5", "14/04/2025"),
    ("4500023006", "SO-990206", 10, "90", "02/05/2025"),
]

EUROPEAN_CUSTOMER = [
    # PO, QTY, RDD (a real date, a text or nothing)
    (4500023001, 1200, datetime.date(2025, 2, 3)),
    (4500023001, 400, datetime.date(2025, 2, 24)),
    (4500023002, 2500, "05/03/2025"),
    (4500023003, 12000, datetime.date(2025, 4, 7)),
    (4500023004, 750, None),
    (4500023005, 1000.5, datetime.date(2025, 4, 14)),
    (4500023099, 60, datetime.date(2025, 6, 2)),
]


def write_system(path, encoding, header, fixed, price, rows):
    """fixed: the seven columns before PO; price and the unit/currency/status come after QTY."""
    with open(path, "w", encoding=encoding, newline="") as out:
        out.write(";".join(header) + "\r\n")
        for po, so, pos, qty, rdd in rows:
            row = fixed + [po, so, str(pos), "0", str(qty)] + price + [rdd]
            out.write(";".join(row) + "\r\n")


def fill_orders(sheet, title, headers, item, rows):
    sheet["A1"] = title
    for column, text in zip("AFOR", headers):
        sheet[column + "2"] = text
    for i, (po, qty, rdd) in enumerate(rows):
        row = 3 + i
        sheet["A%d" % row] = item(i)
        sheet["F%d" % row] = po
        sheet["O%d" % row] = qty
        if rdd is not None:
            sheet["R%d" % row] = rdd
            if isinstance(rdd, datetime.date):
                sheet["R%d" % row].number_format = "dd.mm.yyyy"


def write_first_pair():
    write_system("system_data.csv", "utf-8-sig",
                 ["Plant", "Sales org", "Customer", "Name", "Street", "City", "Country", "PO", "SO",
                  "SO_POS", "SO_SUFFIX", "QTY", "Unit", "Price", "Currency", "Status", "RDD"],
                 ["DE01", "1000", "C-2001", "\"Müller & Söhne; Anlagenbau\"", "Hafenstraße 4",
                  "Köln", "DE"], ["PCS", "12,50", "EUR", "open"], SYSTEM)
    book = openpyxl.Workbook()
    sheet = book.active
    sheet.title = "Open orders"
    fill_orders(sheet, "Open purchase orders, Müller & Söhne",
                ["Item", "PO number", "Quantity", "Requested"], lambda i: "Flange DN%d" % (50 + 10 * i),
                CUSTOMER)
    book.save("customer_data.xlsx")


def write_european_pair():
    write_system("system_data_de.csv", "cp1252",
                 ["Werk", "VkOrg", "Kunde", "Name", "Strasse", "Ort", "Land", "PO", "SO", "SO_POS",
                  "SO_SUFFIX", "QTY", "ME", "Preis", "Waehrung", "Status", "RDD"],
                 ["DE01", "1000", "C-3001", "\"Gebr. Kühne; Armaturen\"", "Uferstraße 9",
                  "Düsseldorf", "DE"], ["ST", "1.250,00", "EUR", "offen"], EUROPEAN_SYSTEM)
    book = openpyxl.Workbook()
    orders = book.active
    orders.title = "Orders"
    fill_orders(orders, "Offene Bestellungen, Gebr. Kühne",
                ["Artikel", "Bestellnummer", "Menge", "Wunschtermin"],
                lambda i: "Kugelhahn DN%d" % (25 + 5 * i), EUROPEAN_CUSTOMER)
    notes = book.create_sheet("Notes")
    notes["A1"] = "Stand: Februar 2025; Termine ohne Gewähr"
    book.active = 1
    book.save("customer_data_de.xlsx")


write_first_pair()
write_european_pair()
