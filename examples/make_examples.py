#!/usr/bin/env python3
# examples/make_examples.py - writes the three example grids of the README (run from examples/).
# A valley side of 80 x 60 cells of 25 m, the uplift expected over 10 000 years on the same grid,
# and the same uplift at 50 m cells. Fixed seed: the files are reproducible.
import math
import random

random.seed(7)
XLL, YLL = 412000, 387000


def write(name, cols, rows, cellsize, nodata, value):
    with open(name, "w") as f:
        f.write(f"ncols {cols}\nnrows {rows}\nxllcorner {XLL}\nyllcorner {YLL}\n"
                f"cellsize {cellsize}\nNODATA_value {nodata}\n")
        for r in range(rows):
            # Cell centre in metres from the south-western corner.
            y = (rows - r - 0.5) * cellsize
            f.write(" ".join(value(c, r, (c + 0.5) * cellsize, y) for c in range(cols)) + "\n")


def elevation(c, r, x, y):
    if (x - 1400) ** 2 + (y - 600) ** 2 < 60 ** 2:
        return "-9999"  # a lake without survey data
    z = 412 + 0.06 * x + 0.045 * y + 35 * math.sin(x / 310) * math.cos(y / 270)
    z += random.uniform(-0.8, 0.8)
    return f"{z:.0f}" if random.random() < 0.15 else f"{z:.{random.choice((2, 3))}f}"


def uplift(c, r, x, y):
    return f"{1.8 + 0.0009 * x + 0.0004 * y + random.uniform(-0.05, 0.05):.2f}"


write("elevation.asc", 80, 60, 25, -9999, elevation)
write("uplift.asc", 80, 60, 25, -9999, uplift)
write("uplift_50m.asc", 40, 30, 50, -9999, uplift)
