"""Writes every file below SOURCE into ARCHIVE compressed with METHOD, a
method that no zip writer at hand offers: 93 (each entry through the zstd
program) or 95 (Python's lzma, the .xz format).

craft_method_archive.py ARCHIVE METHOD SOURCE"""

import lzma
import os
import struct
import subprocess
import sys
import zlib

archive, method, source = sys.argv[1], int(sys.argv[2]), sys.argv[3]
encode = {93: lambda d: subprocess.run(["zstd", "-q", "-c"], input=d, check=True,
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
