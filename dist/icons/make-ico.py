#!/usr/bin/env python3
"""Makes the Windows program icon (an .ico file) from the SVG icon.

Usage: make-ico.py RSVG_CONVERT SVG OUT.ico

Each size is drawn by rsvg-convert (Debian: librsvg2-bin) as a PNG. The 256-pixel picture goes into
the icon as that PNG; the smaller ones as 32-bit bitmaps with their AND mask, which every reader of
icons takes, however old.
"""
import struct
import subprocess
import sys
import zlib

SIZES = (16, 24, 32, 48, 64, 128, 256)
PNG_SIGNATURE = b"\x89PNG\r\n\x1a\n"


def render(rsvg, svg, size):
    return subprocess.run([rsvg, "-w", str(size), "-h", str(size), "-f", "png", svg],
                          check=True, stdout=subprocess.PIPE).stdout


def rgba_rows(png):
    """The rows of an 8-bit RGBA, non-interlaced PNG, each as bytes of R, G, B, A."""
    if not png.startswith(PNG_SIGNATURE):
        raise ValueError("not a PNG")
    at, data, header = len(PNG_SIGNATURE), b"", None
    while at < len(png):
        length, kind = struct.unpack(">I4s", png[at:at + 8])
        body = png[at + 8:at + 8 + length]
        at += 12 + length
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            data += body
    width, height, depth, colour, _, _, interlace = header
    if (depth, colour, interlace) != (8, 6, 0):
        raise ValueError("expected 8-bit RGBA without interlacing")
    raw, stride, rows, previous = zlib.decompress(data), width * 4, [], bytearray(width * 4)
    for y in range(height):
        kind, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            left = line[i - 4] if i >= 4 else 0
            up, corner = previous[i], (previous[i - 4] if i >= 4 else 0)
            if kind == 1:
                line[i] = (line[i] + left) & 0xFF
            elif kind == 2:
                line[i] = (line[i] + up) & 0xFF
            elif kind == 3:
                line[i] = (line[i] + (left + up) // 2) & 0xFF
            elif kind == 4:
                p = left + up - corner
                pa, pb, pc = abs(p - left), abs(p - up), abs(p - corner)
                line[i] = (line[i] + (left if pa <= pb and pa <= pc else up if pb <= pc else corner)) & 0xFF
        rows.append(bytes(line))
        previous = line
    return width, height, rows


def bitmap_entry(png):
    """An icon image as the bitmap form: BITMAPINFOHEADER (height doubled for the mask), BGRA rows
    bottom up, then the AND mask (1 where the pixel is fully transparent), rows of whole DWORDs."""
    width, height, rows = rgba_rows(png)
    header = struct.pack("<IiiHHIIiiII", 40, width, height * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels, mask = b"", b""
    mask_stride = ((width + 31) // 32) * 4
    for row in reversed(rows):
        pixels += b"".join(bytes((row[i + 2], row[i + 1], row[i], row[i + 3]))
                           for i in range(0, len(row), 4))
        bits = bytearray(mask_stride)
        for x in range(width):
            if row[x * 4 + 3] == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bytes(bits)
    return header + pixels + mask


def main():
    rsvg, svg, out = sys.argv[1:4]
    images = []
    for size in SIZES:
        png = render(rsvg, svg, size)
        images.append((size, png if size >= 256 else bitmap_entry(png)))
    # ICONDIR, one ICONDIRENTRY per image (a width of 256 is written 0), then the images.
    icon = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, image in images:
        icon += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    icon += b"".join(image for _, image in images)
    with open(out, "wb") as f:
        f.write(icon)


if __name__ == "__main__":
    main()
