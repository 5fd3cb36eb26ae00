"""Writes every file below SOURCE into ARCHIVE compressed with METHOD, a
method that no zip writer at hand offers: 93 (each entry through the zstd
program), 95 (Python's lzma, the .xz format) or 9 (Deflate64 as no writer at
hand uses it: matches up to 65538 bytes long and 64 KiB far, in one block of
the fixed code).

craft_method_archive.py ARCHIVE METHOD SOURCE"""

import lzma
import os
import struct
import subprocess
import sys
import zlib

LENGTHS = [3, 4, 5, 6, 7, 8, 9, 10, 11, 13, 15, 17, 19, 23, 27, 31, 35, 43, 51, 59, 67, 83,
           99, 115, 131, 163, 195, 227, 258]
LENGTH_BITS = [0] * 8 + [n // 4 for n in range(4, 24)] + [16]
DISTANCES = [1, 2, 3, 4] + [(2 + n % 2) << (n // 2) | 1 for n in range(2, 30)]
DISTANCE_BITS = [0, 0] + [n // 2 for n in range(28 + 2)]


def deflate64(data):
    out, bits = bytearray(), [0, 0]

    def put(value, count):  # first bit lowest
        bits[0] |= value << bits[1]
        bits[1] += count
        while bits[1] >= 8:
            out.append(bits[0] & 0xFF)
            bits[0] >>= 8
            bits[1] -= 8

    def code(value, count):  # Huffman codes go first bit highest
        put(int(format(value, "0%db" % count)[::-1], 2), count)

    def symbol(s):
        code(*((0x30 + s, 8) if s < 144 else (0x190 + s - 144, 9) if s < 256
               else (s - 256, 7) if s < 280 else (0xC0 + s - 280, 8)))

    def extra(table, extra_bits, value):
        i = max(i for i, base in enumerate(table) if base <= value)
        return i, value - table[i], extra_bits[i]

    put(0b011, 3)  # the last block, fixed code
    seen, i = {}, 0
    while i < len(data):
        j, n = seen.get(data[i:i + 4]), 0
        seen[data[i:i + 4]] = i
        if j is not None and i - j <= 65536 and i + 4 <= len(data):
            while n < 65538 - 256 and data[j + n:j + n + 256] == data[i + n:i + n + 256]:
                n += 256
            while n < 65538 and i + n < len(data) and data[j + n] == data[i + n]:
                n += 1
        if n < 4:
            symbol(data[i])
            i += 1
            continue
        index, rest, count = (28, n - 3, 16) if n > 257 else extra(LENGTHS[:28], LENGTH_BITS, n)
        symbol(257 + index)
        put(rest, count)
        index, rest, count = extra(DISTANCES, DISTANCE_BITS, i - j)
        code(index, 5)
        put(rest, count)
        i += n
    symbol(256)
    put(0, 7)
    return bytes(out)


archive, method, source = sys.argv[1], int(sys.argv[2]), sys.argv[3]
encode = {9: deflate64,93: lambda d: subprocess.run(["zstd", "-q", "-c"], input=d, check=True,
                                       capture_output=True).stdout,
          95: lzma.compress}[method]
out, directory, count = bytearray(), bytearray(), 0
for root, _, files in sorted(os.walk(source)):
    for file in sorted(files):
        path = os.path.join(root, file)
        name = os.path.relpath(path, source).encode()
        data = open(path, "rb").read()
        packed, crc, offset = encode(data), zlib.crc32(data), len(out)
        fields = (crc, len(packed), len(data), len(name))
        out += struct.pack("<IHHHII", 0x04034B50, 63, 0, method, 0, *fields[:1])
        out += struct.pack("<IIHH", *fields[1:], 0) + name + packed
        directory += struct.pack("<IHHHHII", 0x02014B50, 63, 63, 0, method, 0, crc)
        directory += struct.pack("<IIHHHHHII", *fields[1:], 0, 0, 0, 0, 0, offset) + name
        count += 1
out += directory + struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, count, count, len(directory),
                               len(out), 0)
open(archive, "wb").write(out)
