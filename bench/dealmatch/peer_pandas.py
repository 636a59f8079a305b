#!/usr/bin/python3
"""The script a user would write instead of dealmatch: pandas reads the CSV, openpyxl (through
pandas) the customer workbook, xlsxwriter writes a formatted result.xlsx with the same sheets,
blocks, widths, frozen header and filter. Prints the seconds of each phase as JSON.

Usage: peer_pandas.py system.csv customer.xlsx result.xlsx"""
import json
import sys
import time

import pandas as pd

COLS_ORDER = ["PO", "SO", "SO_POS", "SO_SUFFIX", "QTY", "SYSTEM_RDD", "CUSTOMER_RDD"]


def iso_dates(column):
    return pd.to_datetime(column, errors="coerce").dt.strftime("%Y-%m-%d")


def summary_of(result):
    sys_month = pd.to_datetime(result["SYSTEM_RDD"], errors="coerce").dt.to_period("M")
    cus_month = pd.to_datetime(result["CUSTOMER_RDD"], errors="coerce").dt.to_period("M")
    summary = pd.DataFrame({"SYS_RDD": result.groupby(sys_month)["QTY"].sum(),
                            "CUS_RDD": result.groupby(cus_month)["QTY"].sum()}).T
    summary = summary.sort_index(axis=1)
    summary.columns = [month.strftime("%y-%b") for month in summary.columns]
    return summary.fillna(0).infer_objects()


def write_block(writer, sheet_name, df, startcol, index, header_format):
    df.to_excel(writer, sheet_name=sheet_name, startcol=startcol, index=index)
    sheet = writer.sheets[sheet_name]
    labels = ([""] if index else []) + [str(name) for name in df.columns]
    for offset, label in enumerate(labels):
        sheet.write(0, startcol + offset, label, header_format)
    columns = ([df.index.to_series()] if index else []) + [df[name] for name in df.columns]
    for offset, (label, column) in enumerate(zip(labels, columns)):
        width = max([len(label) + 2] + [len(str(value)) for value in column])
        sheet.set_column(startcol + offset, startcol + offset, min(max(width + 2, 8), 60))
    return sheet


def main(csv_path, xlsx_path, out_path):
    times = {}
    start = time.perf_counter()
    system = pd.read_csv(csv_path, sep=";", encoding="utf-8-sig", header=0,
                         usecols=[7, 8, 9, 10, 11, 16])
    system.columns = ["PO", "SO", "SO_POS", "SO_SUFFIX", "QTY", "RDD"]
    system.loc[:, "RDD"] = iso_dates(system["RDD"])
    times["csv"] = time.perf_counter() - start

    start = time.perf_counter()
    customer = pd.read_excel(xlsx_path, header=None, skiprows=2, usecols=[5, 14, 17],
                             engine="openpyxl")
    customer.columns = ["PO", "QTY", "RDD"]
    customer.loc[:, "RDD"] = iso_dates(customer["RDD"])
    times["workbook"] = time.perf_counter() - start

    start = time.perf_counter()
    result = pd.merge(system, customer, on=["PO", "QTY"], how="inner", suffixes=("_SYS", "_CUST"))
    result = result.rename(columns={"RDD_SYS": "SYSTEM_RDD", "RDD_CUST": "CUSTOMER_RDD"})
    result = result[[name for name in COLS_ORDER if name in result.columns]]
    result = result.sort_values(["PO", "SO_POS", "QTY"])
    by_rdd = result.sort_values(["SYSTEM_RDD", "PO"])
    summary = summary_of(result)
    times["join"] = time.perf_counter() - start

    start = time.perf_counter()
    with pd.ExcelWriter(out_path, engine="xlsxwriter", date_format="yyyy-mm-dd",
                        datetime_format="yyyy-mm-dd") as writer:
        header = writer.book.add_format({"bold": True, "bg_color": "#DDEBF7", "border": 1})
        as_dates = {name: pd.to_datetime(result[name]) for name in ("SYSTEM_RDD", "CUSTOMER_RDD")}
        sheet = write_block(writer, "byPO", result.assign(**as_dates), 0, False, header)
        sheet.freeze_panes(1, 0)
        sheet.autofilter(0, 0, len(result), len(result.columns) - 1)
        if not summary.empty:
            write_block(writer, "byPO", summary, len(result.columns) + 2, True, header)
        rdd_dates = {name: pd.to_datetime(by_rdd[name]) for name in ("SYSTEM_RDD", "CUSTOMER_RDD")}
        sheet = write_block(writer, "byRDD_SYS", by_rdd.assign(**rdd_dates), 0, False, header)
        sheet.freeze_panes(1, 0)
        sheet.autofilter(0, 0, len(by_rdd), len(by_rdd.columns) - 1)
    times["write"] = time.perf_counter() - start
    times["records"] = len(result)
    json.dump(times, sys.stdout)


if __name__ == "__main__":
    main(*sys.argv[1:4])
