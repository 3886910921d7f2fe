#!/usr/bin/env python3
"""Independent TGA reader for the tests: true-colour files (types 2 and 10, 24 or 32 bits,
any origin). Prints "width height" on the first line, then the pixels as B, G, R, A bytes,
top row first."""
import sys


def main(path):
    data = open(path, "rb").read()
    id_len, cmap_type, kind = data[0], data[1], data[2]
    cmap_len, cmap_bits = int.from_bytes(data[5:7], "little"), data[7]
    width = int.from_bytes(data[12:14], "little")
    height = int.from_bytes(data[14:16], "little")
    depth, desc = data[16], data[17]
    if kind not in (2, 10) or depth not in (24, 32):
        sys.exit("unsupported")
    bpp = depth // 8
    pos = 18 + id_len + (cmap_len * ((cmap_bits + 7) // 8) if cmap_type else 0)
    pixels = []
    total = width * height
    while len(pixels) < total:
        if kind == 2:
            pixels.append(data[pos:pos + bpp])
            pos += bpp
            continue
        head = data[pos]
        pos += 1
        count = (head & 0x7F) + 1
        if head & 0x80:
            pixels.extend([data[pos:pos + bpp]] * count)
            pos += bpp
        else:
            for _ in range(count):
                pixels.append(data[pos:pos + bpp])
                pos += bpp
    pixels = pixels[:total]
    if any(len(p) != bpp for p in pixels):
        sys.exit("truncated")
    rows = [pixels[y * width:(y + 1) * width] for y in range(height)]
    if desc & 0x10:
        rows = [list(reversed(r)) for r in rows]
    if not desc & 0x20:
        rows.reverse()
    out = bytearray()
    for row in rows:
        for p in row:
            out += p[:3] + (p[3:4] if bpp == 4 else b"\xff")
    sys.stdout.write("%d %d\n" % (width, height))
    sys.stdout.flush()
    sys.stdout.buffer.write(bytes(out))


if __name__ == "__main__":
    main(sys.argv[1])
