#!/usr/bin/env python3
"""The channel map of "/check /regdb FILE /map OUT.svg", rendered by rsvg-convert:
it renders, it has the size the SVG states, and a planted violation (USA given
region 1, channels 1-13, where the US allows 1-11) puts red pixels in the 2.4 GHz
half of USA's row and nowhere in a compliant country's row.

    channel_map_test.py PROGRAM SOURCE_DIR"""

import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import zlib

RED_LIMIT = 60  # a red pixel: red above 255 - RED_LIMIT, green and blue below it


def read_png(path):
    """Width, height and rows of RGB(A) pixels of an 8-bit PNG."""
    data = open(path, "rb").read()
    assert data[:8] == b"\x89PNG\r\n\x1a\n", "not a PNG"
    pos, idat = 8, b""
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            width, height, depth, color = struct.unpack(">IIBB", body[:10])
            assert depth == 8 and color in (2, 6), (depth, color)
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    channels = 4 if color == 6 else 3
    raw = zlib.decompress(idat)
    stride = width * channels
    rows, previous = [], bytearray(stride)
    for y in range(height):
        line = raw[y * (stride + 1):(y + 1) * (stride + 1)]
        kind, row = line[0], bytearray(line[1:])
        for i in range(stride):
            left = row[i - channels] if i >= channels else 0
            up, corner = previous[i], previous[i - channels] if i >= channels else 0
            if kind == 1:
                row[i] = (row[i] + left) & 0xFF
            elif kind == 2:
                row[i] = (row[i] + up) & 0xFF
            elif kind == 3:
                row[i] = (row[i] + (left + up) // 2) & 0xFF
            elif kind == 4:
                p = left + up - corner
                pa, pb, pc = abs(p - left), abs(p - up), abs(p - corner)
                row[i] = (row[i] + (left if pa <= pb and pa <= pc else up if pb <= pc else corner)) & 0xFF
        rows.append([tuple(row[x * channels:x * channels + 3]) for x in range(width)])
        previous = row
    return width, height, rows


def red_pixels(rows, top, bottom, left, right):
    return sum(1 for y in range(top, bottom) for (r, g, b) in rows[y][left:right]
               if r > 255 - RED_LIMIT and g < RED_LIMIT and b < RED_LIMIT)


def row_span(svg, label):
    """The pixel rows of a country's row: its label's baseline is 16 below its top."""
    y = float(re.search(r'<text x="[\d.]+" y="([\d.]+)"[^>]*>' + re.escape(label) + "<", svg)[1])
    return int(y) - 16, int(y) + 8


def main():
    program, source = sys.argv[1], sys.argv[2]
    with tempfile.TemporaryDirectory() as temp:
        machine = os.path.join(temp, "machine")
        shutil.copytree(os.path.join(source, "examples", "demo-machine"), machine)
        data = os.path.join(machine, "C", "Program Files", "Zelvaro", "ZeCoInst.dat")
        text = open(data, "rb").read()
        open(data, "wb").write(text.replace(b"USA=0", b"USA=1", 1))
        run = subprocess.run([program, "/check", "/regdb", "/map", r"C:\map.svg"],
                             env=dict(os.environ, ZEREGION_MACHINE=machine),
                             capture_output=True, text=True)
        assert run.returncode == 1, (run.returncode, run.stdout, run.stderr)
        assert "channel 12 (2467 MHz) lies outside the ranges US allows" in run.stdout, run.stdout
        svg_path = os.path.join(machine, "C", "map.svg")
        svg = open(svg_path, encoding="utf-8").read()
        png = os.path.join(temp, "map.png")
        subprocess.run(["rsvg-convert", "--output", png, svg_path], check=True)
        width, height, rows = read_png(png)
        stated = re.search(r'<svg [^>]*width="(\d+)" height="(\d+)"', svg)
        assert (width, height) == (int(stated[1]), int(stated[2])), (width, height, stated[0])
        assert (width, height) == (1000, 200), (width, height)
        top, bottom = row_span(svg, "USA (US)")
        assert red_pixels(rows, top, bottom, 0, 400) > 0, "no red in USA's 2.4 GHz half (x below 400)"
        top, bottom = row_span(svg, "DEU (DE)")
        assert red_pixels(rows, top, bottom, 0, width) == 0, "red in DEU's row"
    print("channel map: renders at 1000 x 200, USA's violation red, DEU's row clean")


if __name__ == "__main__":
    main()
