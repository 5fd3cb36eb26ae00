#!/usr/bin/python3
"""Writes the benchmark's update packages: deflate level 6 zips, half of each
one text-like and half random bytes, spread over three builds.

    make_packages.py OUT_DIR COUNT TOTAL_MB

Prints one line per package: FILENAME FPATH BUILDNO ZIP_PATH.
"""
import os
import random
import sys
import zipfile

out, count, total_mb = sys.argv[1], int(sys.argv[2]), float(sys.argv[3])
rng = random.Random(4923)
words = ["".join(rng.choice("abcdefghijklmnopqrstuvwxyz") for _ in range(rng.randint(2, 10)))
         for _ in range(5000)]
lines = [" ".join(rng.choices(words, k=rng.randint(4, 14))) + "\n" for _ in range(20000)]
folders = ["bin", "res", "data/forms", "data/reports", "help"]
# Random bytes hardly shrink and text shrinks about fourfold: with equal parts
# of each the zips add up to roughly TOTAL_MB.
per_package = total_mb * 1e6 / count
for i in range(count):
    scale = rng.uniform(0.5, 1.5)
    random_size = int(per_package * 0.67 * scale)
    text_size = int(per_package * 0.67 * scale)
    text = []
    size = 0
    while size < text_size:
        chunk = "".join(rng.choices(lines, k=2000))
        text.append(chunk)
        size += len(chunk)
    name = f"pkg{i:02d}"
    path = os.path.join(out, name + ".zip")
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED, compresslevel=6) as z:
        z.writestr(f"{name}/{name}.dat", os.urandom(random_size))
        z.writestr(f"{name}/{name}.txt", "".join(text)[:text_size])
        z.writestr(f"{name}.ini", f"[{name}]\nbuild={1 + i % 3}\n")
    print(name, folders[i % len(folders)], 1 + i % 3, path)
