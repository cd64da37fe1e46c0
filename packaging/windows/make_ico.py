#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Packs the application icon's PNG files (src/app/icons/app-*.png) into corvelle.ico, the icon the
Windows programs and the installer carry. Each size is stored as its PNG, which Windows reads in
icon files since Vista. Standard library only. Run from this folder: ./make_ico.py
"""
import struct

SIZES = (16, 32, 48, 256)


def main():
    images = []
    for size in SIZES:
        with open("../../src/app/icons/app-%d.png" % size, "rb") as f:
            images.append((size, f.read()))
    header = struct.pack("<HHH", 0, 1, len(images))
    offset = len(header) + 16 * len(images)
    entries, data = b"", b""
    for size, png in images:
        side = 0 if size == 256 else size  # 0 stands for 256 in an icon directory entry
        entries += struct.pack("<BBBBHHII", side, side, 0, 0, 1, 32, len(png), offset + len(data))
        data += png
    with open("corvelle.ico", "wb") as f:
        f.write(header + entries + data)


if __name__ == "__main__":
    main()
