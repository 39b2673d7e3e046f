#!/usr/bin/env python3
"""Writes the seed corpus of the grid reader: valid grids of odd shapes and malformed ones.

The command's malformed-input test runs every malformed_* file of it through the command.
Run from anywhere: python3 tests/fuzz/make_corpus.py
"""
import os

HERE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus")
HEADER = "ncols 3\nnrows 2\nxllcorner 0\nyllcorner 0\ncellsize 1\nNODATA_value -9999\n"
ROWS = "1 2 3\n4 5 6\n"

FILES = {
    # Valid grids of odd shapes.
    "valid_small.asc": HEADER + ROWS,
    "valid_one_cell.asc": "ncols 1\nnrows 1\nxllcorner 500000.5\nyllcorner 5123456.25\n"
                          "cellsize 0.25\nnodata_value -1\n-1\n",
    "valid_no_rows.asc": "ncols 4\nnrows 0\nxllcorner 0\nyllcorner 0\ncellsize 1\nNODATA_value 0\n",
    "valid_no_columns.asc": "ncols 0\nnrows 3\nxllcorner 0\nyllcorner 0\ncellsize 1\n"
                            "NODATA_value 0\n",
    "valid_one_line.asc": "ncols 2 nrows 2 xllcorner -10 yllcorner -20 cellsize 5 "
                          "NODATA_value -9999 1.5 -2.5e3 .5 5.",
    "valid_nonfinite.asc": "ncols 2\nnrows 2\nxllcorner 0\nyllcorner 0\ncellsize 1\n"
                           "NODATA_value nan\ninf -inf\nnan -nan\n",
    "valid_extremes.asc": "ncols 3\nnrows 1\nxllcorner 1e300\nyllcorner -1e-300\ncellsize 1e-5\n"
                          "NODATA_value -9999\n1.7976931348623157e308 4.9e-324 -0\n",
    "valid_tabs_and_trailing.asc": "ncols\t2\tnrows\t1\n\nxllcorner 0\t yllcorner 0\n"
                                   "cellsize 1\nNODATA_value -9999\n\t+2 -3  \n7 8 9 extra\n",
    "valid_crlf.asc": (HEADER + ROWS).replace("\n", "\r\n"),
    # Malformed grids: each gives one clear line and no map.
    "malformed_empty.asc": "",
    "malformed_truncated_header.asc": "ncols 3\nnrows 2\nxllcorner 0\n",
    "malformed_ncols_key.asc": HEADER.replace("ncols", "NCOLS") + ROWS,
    "malformed_nrows_key.asc": HEADER.replace("nrows", "nrow") + ROWS,
    "malformed_xllcorner_key.asc": HEADER.replace("xllcorner", "xllcenter") + ROWS,
    "malformed_yllcorner_key.asc": HEADER.replace("yllcorner", "YLLCORNER") + ROWS,
    "malformed_cellsize_key.asc": HEADER.replace("cellsize", "cell_size") + ROWS,
    "malformed_nodata_key.asc": HEADER.replace("NODATA_value", "NoData_Value") + ROWS,
    "malformed_missing_nodata.asc": HEADER.replace("NODATA_value -9999\n", "") + ROWS,
    "malformed_fractional_ncols.asc": HEADER.replace("ncols 3", "ncols 10.5") + ROWS,
    "malformed_text_cellsize.asc": HEADER.replace("cellsize 1", "cellsize one") + ROWS,
    "malformed_negative_ncols.asc": HEADER.replace("ncols 3", "ncols -3") + ROWS,
    "malformed_negative_nrows.asc": HEADER.replace("nrows 2", "nrows -2") + ROWS,
    "malformed_huge_dimensions.asc": HEADER.replace("ncols 3", "ncols 9223372036854775807")
                                     .replace("nrows 2", "nrows 9223372036854775807") + ROWS,
    "malformed_claims_1e12_cells.asc": HEADER.replace("ncols 3", "ncols 1000000")
                                       .replace("nrows 2", "nrows 1000000") + ROWS,
    "malformed_empty_claims_many_rows.asc": "ncols 0\nnrows 1000000000000\nxllcorner 0\n"
                                            "yllcorner 0\ncellsize 1\nNODATA_value 0\n",
    "malformed_text_nodata.asc": HEADER.replace("-9999", "none") + ROWS,
    "malformed_text_cell.asc": HEADER + "1 2 3\n4 abc 6\n",
    "malformed_cell_beyond_double.asc": HEADER + "1 2 3\n4 1e999 6\n",
    "malformed_too_few_cells.asc": HEADER + "1 2 3\n4 5\n",
    "malformed_binary.asc": "".join(chr(c) for c in (0, 255, 17, 200, 10, 13, 0, 128, 64, 7)) * 20,
    "malformed_binary_after_header.asc": HEADER + "\x00\xff\xfe\x01 2 3\n",
}

os.makedirs(HERE, exist_ok=True)
for name, text in FILES.items():
    with open(os.path.join(HERE, name), "wb") as f:
        f.write(text.encode("latin-1"))
print("%d corpus files in %s" % (len(FILES), HERE))
