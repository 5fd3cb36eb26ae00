"""Writes a test archive with Python's zipfile and, beside it, the tree that
unpacking it must give, written with plain file operations.

make_archive.py ARCHIVE|- MODE EXPECTED_FOLDER
MODE: stored, deflated, zip64, utf8, cp949; "-" streams to standard output,
so that every entry gets a data descriptor. MODE names writes a few hundred
random Hangul, Latin and CJK names in UTF-8 without the flag, made on Unix;
names-cp949 random Hangul and Hanja names in CP949, made on FAT. jdk writes
as the JDK's zip file system does: files flagged UTF-8, folders in UTF-8
without the flag, all made on FAT; utf8-fat unflagged UTF-8 names made on FAT,
one of them valid CP949 too, one not."""

import os
import random
import sys
import zipfile

archive, mode, expected = sys.argv[1:4]


def random_names(cp949):
    rng = random.Random(20261209)

    def chars(low, high, count):
        out = ""
        while len(out) < count:
            c = chr(rng.randrange(low, high))
            out += c if not cp949 or c.encode("cp949", "ignore") else ""
        return out

    latin = "abcdefghijklmnopqrstuvwxyzàáâãäåæçèéêëìíîïñòóôõöøùúûüýÿßœ"
    kinds = [lambda: chars(0xAC00, 0xD7A4, 2)] * 2 + [lambda: chars(0x4E00, 0x9FA6, 2)]
    kinds += [lambda: chars(0xAC00, 0xD7A4, 3) + " " + str(rng.randrange(100))] if cp949 else [
        lambda: "".join(rng.choice(latin) for _ in range(rng.randint(3, 8))),
        lambda: chars(0x3041, 0x3097, 3)]
    names = {rng.choice(kinds)() + ".txt" for _ in range(300)}
    return [(name, name.encode()) for name in sorted(names)]


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
if mode == "jdk":
    entries = [("uni/", None), ("uni/Ünïcøde/", None), ("uni/Ünïcøde/a.txt", b"a\n")]
if mode == "utf8-fat":
    entries = [("café.txt", b"cafe\n"), ("5€.txt", b"euro\n")]
if mode.startswith("names"):
    entries = random_names(mode == "names-cp949")
if mode == "zip64":
    # Small limits make zipfile write the zip64 fields and end records.
    zipfile.ZIP64_LIMIT = 100
    zipfile.ZIP_FILECOUNT_LIMIT = 2

compression = zipfile.ZIP_STORED if mode == "stored" else zipfile.ZIP_DEFLATED


class RawNameInfo(zipfile.ZipInfo):
    """A name without the UTF-8 flag: in the Korean code page as Windows tools
    write it, or in UTF-8 as Unix tools write it."""

    def _encodeFilenameFlags(self):
        encoding = "utf-8" if self.create_system == 3 or mode in ("jdk", "utf8-fat") else "cp949"
        return self.filename.encode(encoding), self.flag_bits & ~0x800


target = sys.stdout.buffer if archive == "-" else archive
with zipfile.ZipFile(target, "w", compression, compresslevel=6) as z:
    for name, data in entries:
        raw = mode in ("cp949", "names", "names-cp949", "utf8-fat") or (mode == "jdk" and data is None)
        info = (RawNameInfo if raw else zipfile.ZipInfo)(name, (2024, 1, 2, 3, 4, 6))
        info.create_system = 3 if mode == "names" else 0 if raw or mode == "jdk" else info.create_system
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
