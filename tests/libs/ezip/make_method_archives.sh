#!/bin/sh
# The archives that the Windows build's method test unpacks under wine, made
# beforehand by the host's writers, which a Windows program cannot start:
# OUT/source, and OUT/METHOD.zip of it for each method.
#   make_method_archives.sh OUT
set -eu
here=$(cd "$(dirname "$0")" && pwd)
rm -rf "$1"
mkdir -p "$1/source/lib/deep"
cd "$1/source"
# Text that compresses, bytes that do not, an empty file and a nested one.
/usr/bin/python3 -c 'import os
open("notes.txt", "w").write("".join(f"line {i} of the release notes\n" for i in range(40000)))
open("lib/deep/blob.bin", "wb").write(os.urandom(300000))
open("empty.txt", "w").close()'
for method in BZip2 LZMA Deflate64 PPMd; do
  /usr/bin/7zz a -tzip -mm=$method "../$method.zip" . >/dev/null
done
/usr/bin/python3 "$here/craft_method_archive.py" ../XZ.zip 95 .
/usr/bin/python3 "$here/craft_method_archive.py" ../Zstd.zip 93 .
