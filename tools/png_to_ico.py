#!/usr/bin/env python3
"""Wraps a square PNG of at most 256 pixels into an ICO file of one image, the form Windows
reads since Vista. usage: png_to_ico.py IN.png OUT.ico"""
import struct
import sys

png = open(sys.argv[1], "rb").read()
if png[:8] != b"\x89PNG\r\n\x1a\n":
    sys.exit(f"{sys.argv[1]} is not a PNG file")
width, height = struct.unpack(">II", png[16:24])
if width != height or width > 256:
    sys.exit(f"{sys.argv[1]} is {width}x{height}: an icon is square and at most 256 pixels")
# 0 stands for 256 in the directory's one-byte sizes.
side = width % 256
header = struct.pack("<HHH", 0, 1, 1)
entry = struct.pack("<BBBBHHII", side, side, 0, 0, 1, 32, len(png), 6 + 16)
with open(sys.argv[2], "wb") as out:
    out.write(header + entry + png)
