#!/usr/bin/env python3
"""Writes the four 16 x 16 toolbar images of res/toolbar/ from the pixel
maps below, one character a pixel. Run from anywhere:

    python3 tools/toolbar_images/make_toolbar_images.py

Only the standard library is used; the PNGs are 8-bit RGBA.
"""
import pathlib
import struct
import zlib

PALETTE = {
    ".": (0, 0, 0, 0),  # transparent
    "k": (0, 0, 0, 255),
    "w": (255, 255, 255, 255),
    "s": (192, 192, 192, 255),  # silver
    "d": (128, 128, 128, 255),  # grey
    "y": (255, 224, 64, 255),  # folder yellow
    "Y": (216, 168, 32, 255),  # folder back
    "g": (112, 184, 80, 255),  # land
    "l": (200, 232, 168, 255),  # pale land
    "b": (64, 128, 224, 255),  # water, panels
    "n": (0, 0, 128, 255),  # navy title bar
    "G": (0, 128, 0, 255),  # tick
    "r": (224, 0, 0, 255),
}

IMAGES = {
    # A map sheet coming out of an open folder.
    "open_map": """
................
.......kkkkkk...
.......kggbbk...
.......kgrbbk...
.kkkk..kgrgbk...
kYYYYk.kggrgk...
kYYYYYkklggrkk..
kYYYYYYklgggrk..
kYYkkkkkkkkkkkkk
kYYkyyyyyyyyyyyk
kYkyyyyyyyyyyyk.
kYkyyyyyyyyyyyk.
kkyyyyyyyyyyyk..
kkyyyyyyyyyyyk..
kkkkkkkkkkkkk...
................
""",
    # The route line, black with its white companion, over a piece of map.
    "show_route_line": """
kkkkkkkkkkkkkkkk
kllllllllllllllk
kllllllllllllklk
klllllllllllklwk
klllllllllllkwlk
kllllklllllklwlk
kllllkkllllkwllk
klllklwkllklwllk
klllkwllklkwlllk
kllklwlllklwlllk
kllkwlllllwllllk
klklwllllllllbbk
klkwlllllllbbbbk
kllwlllllbbbbbbk
kllllllbbbbbbbbk
kkkkkkkkkkkkkkkk
""",
    # A dialog with a field, ticked.
    "show_properties": """
................
kkkkkkkkkkkkkkkk
knnnnnnnnnnnnnnk
knnnnnnnnnnnnnnk
kssssssssssssssk
ksssssskkkkkkksk
ksddddskwwwwwksk
ksssssskkkkkkksk
kssssssssssssssk
ksssssssGssssssk
kssssssGGssssssk
ksGsssGGsssssssk
ksGGsGGssssssssk
kssGGGsssssssssk
ksssGssssssssssk
kkkkkkkkkkkkkkkk
""",
    # A handheld receiver showing its data.
    "show_gps_data": """
...kk...........
...kk...........
..kkkkkkkkkkkk..
..kdkkkkkkkkdk..
..kdkllllllkdk..
..kdklrrrrlkdk..
..kdkllllllkdk..
..kdklkkkllkdk..
..kdkllllllkdk..
..kdkkkkkkkkdk..
..kddddddddddk..
..kdssdssdssdk..
..kddddssddddk..
..kdssdssdssdk..
..kddddddddddk..
..kkkkkkkkkkkk..
""",
}


def png(rows):
    raw = b"".join(b"\0" + b"".join(bytes(PALETTE[c]) for c in row) for row in rows)
    chunk = lambda kind, data: (struct.pack(">I", len(data)) + kind + data
                                + struct.pack(">I", zlib.crc32(kind + data)))
    return (b"\x89PNG\r\n\x1a\n"
            + chunk(b"IHDR", struct.pack(">IIBBBBB", 16, 16, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9))
            + chunk(b"IEND", b""))


def main():
    out = pathlib.Path(__file__).resolve().parents[2] / "res" / "toolbar"
    out.mkdir(parents=True, exist_ok=True)
    for name, art in IMAGES.items():
        rows = art.strip("\n").split("\n")
        assert len(rows) == 16 and all(len(r) == 16 for r in rows), name
        (out / f"{name}.png").write_bytes(png(rows))


if __name__ == "__main__":
    main()
