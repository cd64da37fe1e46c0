#!/usr/bin/python3
# SPDX-License-Identifier: MIT
# Makes the seven printer-lookalike TrueType fonts of fonts/ from the DejaVu fonts of the
# Debian packages fonts-dejavu-core and fonts-dejavu-extra: each one renamed to its family and
# cut down to the characters of the Windows 125x code pages (Latin-1, Latin Extended-A, Greek,
# Cyrillic and the code pages' punctuation), so that the committed files stay small.
#
# Run once by hand (needs python3-fonttools); the build only copies the results:
#   /usr/bin/python3 data/fonts/make-fonts.py
import os
import sys

from fontTools import subset
from fontTools.ttLib import TTFont

SOURCE_DIR = "/usr/share/fonts/truetype/dejavu"
OUT_DIR = os.path.dirname(os.path.abspath(__file__))

# (family, file written, DejaVu source face)
FONTS = [
    ("VNS ABA", "VNS ABA.TTF", "DejaVuSans-Bold.ttf"),
    ("VNS FRK", "VNS FRK.TTF", "DejaVuSerif.ttf"),
    ("VNS SwIns", "VNS SwIns.TTF", "DejaVuSans.ttf"),
    ("VNS IMP", "VNS IMP.TTF", "DejaVuSansCondensed-Bold.ttf"),
    ("VNS TAH", "VNS TAH.TTF", "DejaVuSansCondensed.ttf"),
    ("VNS UC", "VNS UC.TTF", "DejaVuSerifCondensed.ttf"),
    ("VNS CONS", "VNS CONS.TTF", "DejaVuSansMono.ttf"),
]

# Latin-1, Latin Extended-A, Greek and Cyrillic, plus the punctuation and signs that the
# code pages 1250..1253 place in 0x80..0x9F.
UNICODES = (
    list(range(0x20, 0x7F))
    + list(range(0xA0, 0x180))
    + list(range(0x370, 0x400))
    + list(range(0x400, 0x500))
    + [0x192, 0x2C6, 0x2C7, 0x2D8, 0x2D9, 0x2DB, 0x2DC, 0x2DD]
    + [0x2013, 0x2014, 0x2018, 0x2019, 0x201A, 0x201C, 0x201D, 0x201E, 0x2020, 0x2021,
       0x2022, 0x2026, 0x2030, 0x2039, 0x203A, 0x20AC, 0x2116, 0x2122]
)


def rename(font, family):
    style = font["name"].getDebugName(2) or "Book"
    regular = style in ("Book", "Regular")
    full = family if regular else f"{family} {style}"
    postscript = family.replace(" ", "") + ("" if regular else "-" + style.replace(" ", ""))
    names = font["name"]
    for record in list(names.names):
        if record.nameID in (3, 16, 17):
            names.removeNames(nameID=record.nameID)
    for name_id, value in ((1, family), (3, f"{full}; Corvelle"), (4, full), (6, postscript)):
        names.setName(value, name_id, 3, 1, 0x409)
        names.setName(value, name_id, 1, 0, 0)


def main():
    options = subset.Options()
    options.name_IDs = ["*"]
    options.name_languages = ["*"]
    options.notdef_outline = True
    options.layout_features = ["*"]
    for family, out_name, source in FONTS:
        # The source timestamps are kept, so that a rerun writes identical files.
        font = TTFont(os.path.join(SOURCE_DIR, source), recalcTimestamp=False)
        subsetter = subset.Subsetter(options)
        subsetter.populate(unicodes=UNICODES)
        subsetter.subset(font)
        rename(font, family)
        out_path = os.path.join(OUT_DIR, out_name)
        font.save(out_path)
        print(f"{out_name}: {os.path.getsize(out_path)} bytes", file=sys.stderr)


if __name__ == "__main__":
    main()
