"""Writes a test archive with Python's zipfile and, beside it, the tree that
unpacking it must give, written with plain file operations.

make_archive.py ARCHIVE|- MODE EXPECTED_FOLDER
MODE: stored, deflated, zip64, utf8, cp949; "-" streams to standard output,
so that every entry gets a data descriptor."""

import os
import sys
import zipfile

archive, mode, expected = sys.argv[1:4]

entries = [
    ("docs/", None),
    ("docs/readme.txt", b"hello, archive\n" * 200),
    ("empty.txt", b""),
    ("bin/data.bin", os.urandom(200_000) + b"\0" * 100_000),
    ("empty-folder/", None),
    ("deep/a/b/c.txt", b"c"),
    ("windows\\style\\path.txt", b"backslashes\n"),
]
if mode in ("utf8", "cp949"):
    entries += [("한글/문서.txt", "내용\n".encode()), ("보고서 1.txt", b"report\n")]
if mode == "zip64":
    # Small limits make zipfile write the zip64 fields and end records.
    zipfile.ZIP64_LIMIT = 100
    zipfile.ZIP_FILECOUNT_LIMIT = 2

compression = zipfile.ZIP_STORED if mode == "stored" else zipfile.ZIP_DEFLATED


class Cp949Info(zipfile.ZipInfo):
    """Names in the Korean code page without the UTF-8 flag, as Windows tools write them."""

    def _encodeFilenameFlags(self):
        return self.filename.encode("cp949"), self.flag_bits & ~0x800


target = sys.stdout.buffer if archive == "-" else archive
with zipfile.ZipFile(target, "w", compression, compresslevel=6) as z:
    for name, data in entries:
        info = (Cp949Info if mode == "cp949" else zipfile.ZipInfo)(name, (2024, 1, 2, 3, 4, 6))
        folder = data is None
        info.compress_type = zipfile.ZIP_STORED if folder else compression
        info.external_attr = ((0o40755 << 16) | 0x10) if folder else (0o100644 << 16)
        if folder:
            z.writestr(info, b"")
        else:
            with z.open(info, "w", force_zip64=(mode == "zip64")) as f:
                f.write(data)
        path = os.path.join(expected, name.replace("\\", "/"))
        if folder:
            os.makedirs(path, exist_ok=True)
        else:
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "wb") as f:
                f.write(data)
