#!/usr/bin/env bash
# Extraction speed and peak memory of EZip against unzip and bsdtar on three
# corpora (deflate level 6): 2,000 files of ~100 KB, half text-like and half
# random; one 400 MB file of mixed text and random blocks; 5,000 files of
# 1-4 KB. Then EZip against 7-Zip on 200 MB of the same mix in the methods
# that only 7-Zip among them reads (BZip2, Deflate64), written by 7-Zip.
# Every run extracts into a new folder, after one warm-up run.
#
#   bench/ezip_bench.sh [RUNS]     (default 5 runs)
set -euo pipefail
cd "$(dirname "$0")/.."
usage="bench/ezip_bench.sh [RUNS]   (a whole number; default 5)"
# shellcheck source=bench/lib.sh
. bench/lib.sh
check_args 1 "$@"
runs=${1-5}
count RUNS "$runs"
need_tools /usr/bin/unzip /usr/bin/bsdtar /usr/bin/7zz /usr/bin/time /usr/bin/python3 bc
build ci ezip_cli
cli=$PWD/build/ci/bin/ezip_cli

work=$(mktemp -d /tmp/qlx-bench-XXXXXX)
trap 'rm -rf "$work"' EXIT

echo "generating corpora in $work ..." >&2
/usr/bin/python3 - "$work" <<'PY'
import os, random, sys, zipfile
work = sys.argv[1]
rng = random.Random(20261209)
words = ["".join(rng.choice("abcdefghijklmnopqrstuvwxyz") for _ in range(rng.randint(2, 9)))
         for _ in range(5000)]
text = " ".join(rng.choice(words) for _ in range(1_500_000)).encode()  # ~9 MB of text-like bytes

def text_like(n):
    start = rng.randrange(0, len(text) - n)
    return text[start:start + n]

def write(name, entries):
    with zipfile.ZipFile(os.path.join(work, name), "w", zipfile.ZIP_DEFLATED, compresslevel=6) as z:
        for entry_name, data in entries:
            z.writestr(entry_name, data)

write("many.zip", ((f"d{i % 20:02d}/f{i:04d}.{'txt' if i % 2 == 0 else 'bin'}",
                    text_like(100_000) if i % 2 == 0 else rng.randbytes(100_000))
                   for i in range(2000)))
with zipfile.ZipFile(os.path.join(work, "big.zip"), "w", zipfile.ZIP_DEFLATED, compresslevel=6) as z:
    with z.open("big.bin", "w", force_zip64=True) as f:
        for i in range(400):
            f.write(text_like(1 << 20) if i % 2 == 0 else rng.randbytes(1 << 20))
write("small.zip", ((f"s{i % 50:02d}/f{i:04d}.txt", text_like(rng.randint(1024, 4096)))
                    for i in range(5000)))
with open(os.path.join(work, "mixed.bin"), "wb") as f:
    for i in range(200):
        f.write(text_like(1 << 20) if i % 2 == 0 else rng.randbytes(1 << 20))
PY
for method in BZip2 Deflate64; do
    /usr/bin/7zz a -tzip -mm=$method -bso0 -bsp0 "$work/$method.zip" "$work/mixed.bin"
done
rm "$work/mixed.bin"

command_for() { # tool archive folder: fills the array cmd
    case $1 in
    ezip) cmd=("$cli" "$2" "$3") ;;
    unzip) cmd=(/usr/bin/unzip -o -q "$2" -d "$3") ;;
    bsdtar) cmd=(/usr/bin/bsdtar -xf "$2" -C "$3") ;;
    7zz) cmd=(/usr/bin/7zz x -y -bso0 -bsp0 -o"$3" "$2") ;;
    esac
}

# One timed run into a new folder: writes "microseconds peak_kib" to $work/run.
timed() { # tool archive
    local folder start end
    folder=$(mktemp -d "$work/out-$1-XXXXXX")
    command_for "$1" "$2" "$folder"
    sync
    start=$(date +%s%N)
    /usr/bin/time -f %M -o "$work/rss" "${cmd[@]}" || fail "$1 failed on ${2##*/}"
    end=$(date +%s%N)
    echo "$(( (end - start) / 1000 )) $(tail -1 "$work/rss")" > "$work/run"
}

stats() { # prints "median min max" of the seconds in $1 (µs, one per line)
    sort -n | awk '{ v[NR] = $1 } END {
        m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2;
        printf "%.3f %.3f %.3f\n", m / 1e6, v[1] / 1e6, v[NR] / 1e6 }'
}

# time_corpus CORPUS WIDTH TOOL...: times each TOOL on CORPUS.zip and prints
# its line (the corpus name padded to WIDTH); leaves the medians in median[].
declare -A median=() peak=()
time_corpus() {
    local corpus=$1 width=$2 tool us kib med min max i
    shift 2
    local archive="$work/$corpus.zip"
    median=() peak=()
    for tool in "$@"; do
        timed "$tool" "$archive" # warm-up
        : > "$work/times-$tool"
        peak[$tool]=0
    done
    # The tools take turns, so that the file system's state after deletions
    # and the machine's load weigh on all of them alike.
    for ((i = 0; i < runs; i++)); do
        for tool in "$@"; do
            timed "$tool" "$archive"
            read -r us kib < "$work/run"
            measured "$tool on $corpus.zip" "$us" "$kib"
            echo "$us" >> "$work/times-$tool"
            (( kib > peak[$tool] )) && peak[$tool]=$kib
        done
    done
    for tool in "$@"; do
        measured_lines "$tool on $corpus.zip" "$work/times-$tool" "$runs"
        read -r med min max < <(stats < "$work/times-$tool")
        median[$tool]=$med
        printf "%-${width}s %-$((16 - width))s %8s %8s %8s %10.1f\n" "$corpus" "$tool" "$med" "$min" \
            "$max" "$(echo "${peak[$tool]} / 1024" | bc -l)"
    done
    rm -rf "$work"/out-*
}

printf '%-7s %-7s %8s %8s %8s %10s\n' corpus tool median min max peak_MiB
for corpus in many big small; do
    time_corpus "$corpus" 7 ezip unzip bsdtar
    to_bsdtar=$(ratio "${median[ezip]}" "${median[bsdtar]}")
    to_unzip=$(ratio "${median[ezip]}" "${median[unzip]}")
    printf '%-7s ratio   ezip/bsdtar %.2f   ezip/unzip %.2f\n' "$corpus" "$to_bsdtar" "$to_unzip"
done

for corpus in BZip2 Deflate64; do
    time_corpus "$corpus" 9 ezip 7zz
    printf '%-9s ratio ezip/7zz %.2f\n' "$corpus" "$(ratio "${median[ezip]}" "${median[7zz]}")"
done
