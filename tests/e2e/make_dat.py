#!/usr/bin/env python3
"""Packs a folder into Launcher.dat for the end-to-end tests, written from the file format
alone (independent of the launcherdat tool): "ACV1" header, CRC-64 name keys, masked index
fields, data scrambled with the name's bytes.  Names are the relative paths with "/",
encoded in code page 932.   usage: make_dat.py OUT.dat DIR"""
import os
import struct
import sys

POLY = 0x42F0E1EBA9EA3693
MASK64 = (1 << 64) - 1
TABLE = []
for i in range(256):
    c = i << 56
    for _ in range(8):
        c = ((c << 1) ^ POLY) & MASK64 if c & (1 << 63) else (c << 1) & MASK64
    TABLE.append(c)


def name_key(name):
    crc = MASK64
    for b in name:
        crc = ((crc << 8) & MASK64) ^ TABLE[(crc >> 56) ^ b]
    return crc ^ MASK64


def scramble(data, name):
    length = len(name)
    chunk = len(data) // length
    out = bytearray(data)
    for j in range(length - 1):
        for k in range(j * chunk, (j + 1) * chunk):
            out[k] ^= name[j]
    return bytes(out)


def main():
    out_path, folder = sys.argv[1], sys.argv[2]
    files = []
    for root, _, names in os.walk(folder):
        for n in sorted(names):
            full = os.path.join(root, n)
            rel = os.path.relpath(full, folder).replace(os.sep, "/")
            files.append((rel.encode("cp932"), open(full, "rb").read()))
    extra = 0x5A3C91D7
    header = b"ACV1" + struct.pack("<I", len(files) ^ extra)
    offset = len(header) + 21 * len(files)
    index, blobs = b"", b""
    for name, data in files:
        key = name_key(name)
        low = key & 0xFFFFFFFF
        n2, n4 = name[len(name) // 2], name[len(name) // 4]
        index += struct.pack("<QBIII", key, 1 ^ (low & 0xFF), offset ^ low ^ extra ^ n2,
                             len(data) ^ low ^ n4, low)
        blobs += scramble(data, name)
        offset += len(data)
    with open(out_path, "wb") as f:
        f.write(header + index + blobs)


if __name__ == "__main__":
    assert name_key(b"123456789") == 0x62EC59E3F1A4F00A
    main()
