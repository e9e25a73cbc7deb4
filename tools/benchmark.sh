#!/usr/bin/env bash
# Benchmark of kuvzip-cli against Info-ZIP's zip -6 on a backup-like data set
# (not part of the test run).
#
#   tools/benchmark.sh [BUILD_DIR]      (default: build)
#
# The data set is generated once with a fixed seed under $BENCH_DIR
# (default /tmp/kuvzip-bench/data, about 600 MB): one large database-like
# file, a few medium log files, hundreds of small text files in sub-folders
# and some incompressible files. Each tool is timed with /usr/bin/time -v; the
# script prints the wall times, their ratio, the archive sizes and the peak
# resident memory. Then extraction (tools/benchmark-extract.sh) and a restore
# through the restore window's logic (kuvzip-restore-bench).
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${1:-build}
CLI="$PWD/$BUILD_DIR/bin/kuvzip-cli"
BENCH_DIR=${BENCH_DIR:-/tmp/kuvzip-bench}
DATA="$BENCH_DIR/data"
OUT="$BENCH_DIR/out"
[ -x "$CLI" ] || { echo "kuvzip-cli not found in $BUILD_DIR/bin (build first)" >&2; exit 1; }
command -v zip >/dev/null || { echo "zip is not installed" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "/usr/bin/time is not installed (apt-get install time)" >&2; exit 1; }

# ---------------------------------------------------------------- data set
if [ ! -f "$BENCH_DIR/.data-complete" ]; then
    echo "Generating the data set in $DATA ..."
    rm -rf "$DATA"
    mkdir -p "$DATA"
    python3 - "$DATA" <<'PY'
import os, random, sys
root = sys.argv[1]
rng = random.Random(20240201)  # fixed seed: the same data set on every machine

names = ["DUPONT", "MARTIN", "BERNARD", "PETIT", "DURAND", "LEROY", "MOREAU", "SIMON", "LAURENT", "MICHEL"]
towns = ["PARIS", "LYON", "MARSEILLE", "LILLE", "NANTES", "RENNES", "BREST", "NICE", "DIJON", "METZ"]
labels = ["Facture", "Avoir", "Reglement", "Acompte", "Remise", "Frais de port", "Abonnement"]

# One large database-like file: 8 KiB pages of fixed-width records with a
# binary page header, as the linked application's data files are.
def record(i):
    return ("%08d%-12s%-12s%-10s%-14s%10.2f%08d%c" % (
        i, rng.choice(names), rng.choice(towns), "%02d/%02d/%04d" % (rng.randint(1, 28), rng.randint(1, 12), rng.randint(2015, 2024)),
        rng.choice(labels), rng.uniform(0, 99999), rng.randint(0, 99999999), rng.choice("ABCDN"))).encode("ascii").ljust(96, b" ")
pool = [record(i) for i in range(20000)]
with open(os.path.join(root, "BASE.DB"), "wb") as f:
    page = 0
    target = 400 * 1024 * 1024
    written = 0
    while written < target:
        header = page.to_bytes(4, "little") + rng.randbytes(12)
        body = b"".join(pool[rng.randrange(len(pool))] for _ in range(85))
        chunk = (header + body).ljust(8192, b"\0")
        f.write(chunk)
        written += len(chunk)
        page += 1

# A few medium log files.
for n in range(6):
    with open(os.path.join(root, "journal%d.log" % n), "w", encoding="cp1252", newline="\r\n") as f:
        size = 0
        while size < 15 * 1024 * 1024:
            line = "%04d-%02d-%02d %02d:%02d:%02d %-8s %s ligne=%d montant=%.2f\n" % (
                rng.randint(2020, 2024), rng.randint(1, 12), rng.randint(1, 28), rng.randint(0, 23), rng.randint(0, 59),
                rng.randint(0, 59), rng.choice(["INFO", "ATTENTION", "ERREUR"]), rng.choice(labels), rng.randint(1, 10**6),
                rng.uniform(0, 10**5))
            f.write(line)
            size += len(line) + 1

# Hundreds of small text files in sub-folders.
words = ("le la les un une des client fournisseur facture montant total remise date échéance article "
         "quantité prix livraison commande stock dépôt").split()
for d in range(20):
    folder = os.path.join(root, "Documents", "dossier%02d" % d)
    os.makedirs(folder, exist_ok=True)
    for n in range(30):
        text = " ".join(rng.choice(words) for _ in range(rng.randint(100, 3000)))
        with open(os.path.join(folder, "note%03d.txt" % n), "w", encoding="cp1252", newline="\r\n") as f:
            f.write(text + "\n")

# Incompressible files (pictures, already compressed attachments).
os.makedirs(os.path.join(root, "Images"), exist_ok=True)
for n in range(4):
    with open(os.path.join(root, "Images", "photo%d.jpg" % n), "wb") as f:
        f.write(rng.randbytes(25 * 1024 * 1024))
PY
    touch "$BENCH_DIR/.data-complete"
fi
echo "Data set: $(du -sh --apparent-size "$DATA" | cut -f1), $(find "$DATA" -type f | wc -l) files"

mkdir -p "$OUT"
sync

# Runs a command under /usr/bin/time -v; sets SECONDS_TAKEN and PEAK_KB.
timed() {
    local log="$OUT/time.log"
    /usr/bin/time -v -o "$log" "$@" >/dev/null
    SECONDS_TAKEN=$(awk -F': ' '/Elapsed \(wall clock\)/ {
        n = split($2, p, ":"); s = 0; for (i = 1; i <= n; i++) s = s * 60 + p[i]; print s }' "$log")
    PEAK_KB=$(awk -F': ' '/Maximum resident set size/ {print $2}' "$log")
}

# ---------------------------------------------------------------- creation
rm -f "$OUT/kuvzip.zip" "$OUT/kuvzip-stream.zip" "$OUT/zip.zip"
timed "$CLI" create --recurse "$OUT/kuvzip.zip" "$DATA/*.*"
KUV_S=$SECONDS_TAKEN; KUV_KB=$PEAK_KB
timed "$CLI" create --stream --recurse "$OUT/kuvzip-stream.zip" "$DATA/*.*"
KUVS_S=$SECONDS_TAKEN; KUVS_KB=$PEAK_KB
pushd "$DATA" >/dev/null
timed zip -6 -r -q "$OUT/zip.zip" .
popd >/dev/null
ZIP_S=$SECONDS_TAKEN; ZIP_KB=$PEAK_KB

size() { stat -c %s "$1"; }
printf '\nCreation (%s)\n' "$(nproc) cores"
printf '  %-28s %8.2f s  %12d bytes  peak %7d KiB\n' "kuvzip-cli create" "$KUV_S" "$(size "$OUT/kuvzip.zip")" "$KUV_KB"
printf '  %-28s %8.2f s  %12d bytes  peak %7d KiB\n' "kuvzip-cli create --stream" "$KUVS_S" "$(size "$OUT/kuvzip-stream.zip")" "$KUVS_KB"
printf '  %-28s %8.2f s  %12d bytes  peak %7d KiB\n' "zip -6 -r" "$ZIP_S" "$(size "$OUT/zip.zip")" "$ZIP_KB"
awk -v a="$KUV_S" -v b="$ZIP_S" 'BEGIN { printf "  time ratio kuvzip-cli / zip -6: %.2f\n", (b > 0 ? a / b : 0) }'
cmp -s "$OUT/kuvzip.zip" "$OUT/kuvzip-stream.zip" && echo "  list and streaming archives are byte-identical" \
    || echo "  WARNING: list and streaming archives differ"
[ "$KUV_KB" -lt 32768 ] && echo "  peak memory under 32 MiB" || echo "  WARNING: peak memory of 32 MiB or more"

# ---------------------------------------------------------------- extraction
# EXTRACTION HOOK: kuvzip-cli extract against unzip -o on the archive just
# made, timed by tools/benchmark-extract.sh (skipped with NO_EXTRACT=1).
if [ -z "${NO_EXTRACT:-}" ] && [ -f tools/benchmark-extract.sh ]; then
    printf '\nExtraction of %s\n' "$OUT/kuvzip.zip"
    KUVZIP_CLI="$CLI" bash tools/benchmark-extract.sh "$OUT/kuvzip.zip"
fi

# ---------------------------------------------------------------- restore
# A restore through the restore window's logic (kuvzip-restore-bench, no
# widgets: staging folder, renames, replaced files kept, file system flushed)
# against kuvzip-cli extract --preserve-path --overwrite followed by sync, both
# over a copy of the data folder, from the archive the backup job makes of it
# (the files at the top of the data folder, stored by name). One run each.
# Skipped with NO_RESTORE=1.
RESTORE_BENCH="$PWD/$BUILD_DIR/bin/kuvzip-restore-bench"
if [ -z "${NO_RESTORE:-}" ] && [ -x "$RESTORE_BENCH" ]; then
    JOB="$OUT/job"
    rm -rf "$JOB" "$OUT/restore-cli" "$OUT/restore-window"
    mkdir -p "$JOB"
    "$CLI" create "$JOB/KuvSav-2612071015.zip" "$DATA/*.*" >/dev/null
    cp -a "$DATA" "$OUT/restore-cli"
    cp -a "$DATA" "$OUT/restore-window"
    sync
    timed sh -c "'$CLI' extract --preserve-path --overwrite '$JOB/KuvSav-2612071015.zip' '$OUT/restore-cli' 2>/dev/null && sync"
    CLI_R_S=$SECONDS_TAKEN; CLI_R_KB=$PEAK_KB
    sync
    timed "$RESTORE_BENCH" "$JOB/KuvSav-2612071015.zip" "$OUT/restore-window"
    WIN_R_S=$SECONDS_TAKEN; WIN_R_KB=$PEAK_KB
    printf '\nRestore of %s (%s members)\n' "$JOB/KuvSav-2612071015.zip" "$(unzip -Z1 "$JOB/KuvSav-2612071015.zip" | wc -l)"
    printf '  %-44s %8.2f s  peak %7d KiB\n' "kuvzip-cli extract --overwrite + sync" "$CLI_R_S" "$CLI_R_KB"
    printf '  %-44s %8.2f s  peak %7d KiB\n' "restore window's logic (kuvzip-restore-bench)" "$WIN_R_S" "$WIN_R_KB"
    awk -v a="$WIN_R_S" -v b="$CLI_R_S" 'BEGIN { printf "  time ratio restore / extract + sync: %.2f\n", (b > 0 ? a / b : 0) }'
    [ "$WIN_R_KB" -lt 16384 ] && echo "  peak memory under 16 MiB" || echo "  WARNING: peak memory of 16 MiB or more"
    same=1
    for f in "$OUT/restore-cli"/*; do
        [ -f "$f" ] || continue
        cmp -s "$f" "$OUT/restore-window/$(basename "$f")" || { same=0; echo "  WARNING: $(basename "$f") differs"; }
    done
    [ "$same" = 1 ] && echo "  restored files identical to the extracted ones"
    ls -d "$OUT/restore-window/Avant restauration "* >/dev/null 2>&1 && echo "  replaced files kept in $(ls -d "$OUT/restore-window/Avant restauration "* | head -1)"
fi

# ---------------------------------------------------------------- copy
# The copy of the archive just made to a cloud or exchange folder on the same
# disk, read-back included, against cp + sync (skipped with NO_COPY=1).
if [ -z "${NO_COPY:-}" ] && [ -f tools/benchmark-copy.sh ]; then
    printf '\nCopy of %s to a folder of the same disk\n' "$OUT/kuvzip.zip"
    bash tools/benchmark-copy.sh "$BUILD_DIR" "$OUT/kuvzip.zip" "$OUT"
fi
