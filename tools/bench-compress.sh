#!/usr/bin/env bash
# Micro-benchmark of member compression (not part of the test run): today's
# one-thread zlib member compressor against the sliced pipeline on 1 thread
# and on one thread per core, and Info-ZIP's zip -6 for the sizes.
#
#   tools/bench-compress.sh [FOLDER] [BUILD_DIR]     (default: a generated corpus, build)
#
# Without FOLDER a corpus is made once under $BENCH_DIR (default
# /tmp/kuvzip-bench-compress): generated text, source code, a few MB of
# libraries from /usr/lib, and files that are already compressed. Times are
# wall-clock on whatever else the machine is doing: on a shared machine they
# are noisy, run it twice.
set -euo pipefail
cd "$(dirname "$0")/.."
FOLDER=${1:-}
BUILD_DIR=${2:-build}
BENCH="$PWD/$BUILD_DIR/bin/kuvzip-compress-bench"
BENCH_DIR=${BENCH_DIR:-/tmp/kuvzip-bench-compress}
[ -x "$BENCH" ] || { echo "kuvzip-compress-bench not found in $BUILD_DIR/bin (build it first)" >&2; exit 1; }
command -v zip >/dev/null || { echo "zip is not installed" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "/usr/bin/time is not installed" >&2; exit 1; }

if [ -z "$FOLDER" ]; then
    FOLDER="$BENCH_DIR/corpus"
    if [ ! -f "$BENCH_DIR/.corpus-complete" ]; then
        echo "Making the corpus in $FOLDER ..."
        rm -rf "$FOLDER"
        mkdir -p "$FOLDER/text" "$FOLDER/source" "$FOLDER/lib" "$FOLDER/packed"
        python3 - "$FOLDER/text" <<'PY'
import os, random, sys
rng = random.Random(20261208)
words = ("le la les un une des client fournisseur facture montant total remise date échéance article "
         "quantité prix livraison commande stock dépôt DUPONT MARTIN PARIS LYON").split()
for n in range(8):
    with open(os.path.join(sys.argv[1], "journal%d.txt" % n), "w", encoding="cp1252", newline="\r\n") as f:
        size = 0
        while size < (3 + n) * 1024 * 1024:
            line = "%04d-%02d-%02d %s %s %d %.2f\n" % (rng.randint(2020, 2026), rng.randint(1, 12), rng.randint(1, 28),
                rng.choice(words), " ".join(rng.choice(words) for _ in range(rng.randint(2, 12))),
                rng.randint(1, 10**6), rng.uniform(0, 10**5))
            f.write(line)
            size += len(line) + 1
for n in range(300):
    with open(os.path.join(sys.argv[1], "note%03d.txt" % n), "w", encoding="cp1252", newline="\r\n") as f:
        f.write(" ".join(rng.choice(words) for _ in range(rng.randint(50, 4000))) + "\n")
PY
        cp -r /usr/include/c++ "$FOLDER/source/" 2>/dev/null || true
        cp -r "$PWD/zip" "$PWD/platform" "$FOLDER/source/" 2>/dev/null || true
        # A few MB of libraries, the same ones on every run.
        total=0
        for f in $(ls /usr/lib/x86_64-linux-gnu/*.so.* 2>/dev/null | sort); do
            [ -f "$f" ] && [ ! -L "$f" ] || continue
            size=$(stat -L -c %s "$f")
            [ "$size" -lt 4000000 ] || continue
            cp -L "$f" "$FOLDER/lib/"
            total=$((total + size))
            [ "$total" -lt 24000000 ] || break
        done
        # Already compressed: gzip'd text and random bytes.
        for n in 0 1 2; do gzip -6 -c "$FOLDER/text/journal$n.txt" > "$FOLDER/packed/journal$n.txt.gz"; done
        head -c 6000000 /dev/urandom > "$FOLDER/packed/random.bin"
        touch "$BENCH_DIR/.corpus-complete"
    fi
fi

total_in=$(find "$FOLDER" -type f -printf '%s\n' | awk '{s+=$1} END {print s}')
echo "Corpus: $FOLDER, $(find "$FOLDER" -type f | wc -l) files, $total_in bytes, $(nproc) cores"

# zip -6: the reference size (the members' compressed bytes) and time.
tmpzip=$(mktemp -u /tmp/kuvzip-bench-XXXXXX.zip)
zip_report=$(mktemp)
(cd "$FOLDER" && /usr/bin/time -f '%e %U %S %M' -o "$zip_report" zip -6 -r -q "$tmpzip" .)
read -r zip_seconds zip_user zip_sys zip_rss < <(tail -1 "$zip_report")
rm -f "$zip_report"
zip_out=$(unzip -Zt "$tmpzip" | sed -E 's/.* ([0-9]+) bytes compressed.*/\1/')
rm -f "$tmpzip"
# Wall time and MB/s, CPU time (user + system: what the work costs whatever
# else runs), peak resident memory.
printf '%-22s %12s %9s %8s %8s %8s %11s\n' "" "compressed" "vs zip-6" "seconds" "MB/s" "CPU s" "peak RSS"
printf '%-22s %12s %9s %8.2f %8.1f %8.2f %7s KiB\n' "zip -6" "$zip_out" "1.0000" "$zip_seconds" \
    "$(echo "$total_in / 1000000 / $zip_seconds" | bc -l)" "$(echo "$zip_user + $zip_sys" | bc -l)" "$zip_rss"

run() {
    local label=$1; shift
    local report line
    report=$(mktemp)
    line=$(/usr/bin/time -f '%M %U %S' -o "$report" "$BENCH" "$FOLDER" "$@")
    local out seconds mbps
    out=$(sed -E 's/.* out=([0-9]+).*/\1/' <<<"$line")
    seconds=$(sed -E 's/.* seconds=([0-9.]+).*/\1/' <<<"$line")
    mbps=$(sed -E 's/.* MBps=([0-9.]+).*/\1/' <<<"$line")
    local rss user sys cpu
    read -r rss user sys < <(tail -1 "$report")
    cpu=$(echo "$user + $sys" | bc -l)
    printf '%-22s %12s %9.4f %8.2f %8.1f %8.2f %7s KiB\n' "$label" "$out" "$(echo "$out / $zip_out" | bc -l)" \
        "$seconds" "$mbps" "$cpu" "$rss"
    rm -f "$report"
}
run "zlib, 1 thread (today)" zlib
run "pipeline, 1 thread" pipeline 1
run "pipeline, $(nproc) threads" pipeline 0
