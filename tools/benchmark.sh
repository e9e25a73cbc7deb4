#!/usr/bin/env bash
# Benchmark of kuvzip-cli against Info-ZIP's zip -6 and unzip (not part of
# the test run), in one run, on two data sets: a backup-like one and 20,000
# small text files.
#
#   tools/benchmark.sh [BUILD_DIR]      (default: build)
#
# The data sets are generated once with fixed seeds under $BENCH_DIR
# (default /tmp/kuvzip-bench): data/ (about 600 MB: one large database-like
# file, a few medium log files, hundreds of small text files in sub-folders
# and some incompressible files) and small/ (20,000 text files of 0.5 to
# 16 KB in 100 folders). The outputs go to $OUT (default $BENCH_DIR/out).
# For each set, each step is timed with /usr/bin/time and printed as the
# ratio of the reference tool's time to kuvzip-cli's (above 1: kuvzip-cli is
# faster), with the peak resident memory of both. Extraction and test run
# three rounds, the two tools taking turns at going first, each into a new
# folder; the ratio is that of the median times, and every time is printed
# (on this kind of virtual machine one round can take twice as long as the
# next, for either tool):
#   create      kuvzip-cli create       against zip -6 -r
#   extract     kuvzip-cli extract      against unzip -o  (the kuvzip archive)
#   test        kuvzip-cli test         against unzip -t  (the kuvzip archive)
#   size        zip -6's archive size / kuvzip-cli's (above 1: smaller)
#   foreign     zip -6's archive extracted + sync by kuvzip-cli, unzip -o,
#               bsdtar -xf and 7z x, and kuvzip-cli's own archive likewise
# FOREIGN_ONLY=1 runs only the foreign rows (the archives are still made,
# untimed rows left out); SETS="big" or SETS="small" runs one set only.
# Then the backup job's adding and writing phase against kuvzip-cli create
# and the window's longest stall (tools/benchmark-job.sh), a restore through
# the restore window's logic (NO_RESTORE=1 skips it), the browse window's
# listing of a backup of the 20,000 small files (NO_BROWSE=1 skips it,
# ONLY_BROWSE=1 runs it alone) and a copy of the archive (NO_COPY=1 skips it).
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${1:-build}
CLI="$PWD/$BUILD_DIR/bin/kuvzip-cli"
BENCH_DIR=${BENCH_DIR:-/tmp/kuvzip-bench}
DATA="$BENCH_DIR/data"
SMALL="$BENCH_DIR/small"
OUT=${OUT:-$BENCH_DIR/out}
[ -x "$CLI" ] || { echo "kuvzip-cli not found in $BUILD_DIR/bin (build first)" >&2; exit 1; }
command -v zip >/dev/null || { echo "zip is not installed" >&2; exit 1; }
command -v unzip >/dev/null || { echo "unzip is not installed" >&2; exit 1; }
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
if [ ! -f "$BENCH_DIR/.small-complete" ]; then
    echo "Generating 20,000 small text files in $SMALL ..."
    rm -rf "$SMALL"
    mkdir -p "$SMALL"
    python3 - "$SMALL" <<'PY'
import os, random, sys
root = sys.argv[1]
rng = random.Random(20261208)  # fixed seed
words = ("le la les un une des client fournisseur facture montant total remise date échéance article "
         "quantité prix livraison commande stock dépôt courrier réunion compte rendu").split()
for n in range(20000):
    folder = os.path.join(root, "dossier%03d" % (n // 200))
    os.makedirs(folder, exist_ok=True)
    size = rng.randint(512, 16 * 1024)
    text = []
    length = 0
    while length < size:
        w = rng.choice(words) if rng.random() < 0.8 else str(rng.randint(0, 99999))
        text.append(w)
        length += len(w.encode("utf-8")) + 1
    data = " ".join(text).encode("utf-8")[:size]
    with open(os.path.join(folder, "texte%05d.txt" % n), "wb") as f:
        f.write(data)
PY
    touch "$BENCH_DIR/.small-complete"
fi

mkdir -p "$OUT"

# Runs a command under /usr/bin/time; sets SECONDS_TAKEN and PEAK_KB.
timed() {
    local log="$OUT/time.log"
    /usr/bin/time -f "%e %M" -o "$log" "$@" >/dev/null 2>&1 || true
    read -r SECONDS_TAKEN PEAK_KB < <(tail -n 1 "$log")
}
size() { stat -c %s "$1"; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }'; }
median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
most() { printf '%s\n' "$@" | sort -g | tail -n 1; }
line() {  # STEP REF_SECONDS KUV_SECONDS REF_KB KUV_KB REF_NAME
    printf '  %-8s %-10s %7.2f s  kuvzip-cli %7.2f s  ratio %5s   peak %7d KiB / kuvzip-cli %7d KiB\n' \
        "$1" "$6" "$2" "$3" "$(ratio "$2" "$3")" "$4" "$5"
}

# Removes extracted trees. For minutes after thousands of files are deleted,
# ext4 without a journal (this machine's disk) passes over each freed inode
# at every file it creates (one minute once the inode tables are written,
# six while a table block is dirty, and creating files dirties them again),
# which makes extracting 20,000 files two to four times slower for both
# tools alike. So the trees of a run are removed only at its end, and a run
# that follows a large removal waits until six minutes have passed since.
REMOVED_AT="$BENCH_DIR/.trees-removed-at"
remove_trees() {  # FOLDER...
    local removed
    removed=$( (find "$@" -type f 2>/dev/null || true) | wc -l)
    rm -rf "$@"
    if [ "$removed" -ge 1000 ]; then
        sync
        date +%s > "$REMOVED_AT"
        echo "($removed extracted files removed)"
    fi
}
settle() {
    [ -f "$REMOVED_AT" ] || return 0
    local left=$(( $(cat "$REMOVED_AT") + 370 - $(date +%s) ))
    if [ "$left" -gt 0 ]; then
        echo "(files were removed $(( 370 - left )) s ago: waiting $left s for the file system to settle)"
        sleep "$left"
    fi
}

# One data set: create, extract, test and size.
compare() {  # NAME FOLDER
    local name=$1 folder=$2 kuv="$OUT/$1-kuvzip.zip" ref="$OUT/$1-zip.zip"
    rm -f "$kuv" "$ref"
    remove_trees "$OUT/$name-by-"*
    settle
    # Read once first, so that neither tool pays for the set's first reading
    # from the disk (the system may have let the files leave its cache).
    find "$folder" -type f -print0 | xargs -0 cat >/dev/null
    sync
    pushd "$folder" >/dev/null
    timed "$CLI" create --recurse --path-mode 2 "$kuv" "*.*"
    local kc=$SECONDS_TAKEN kcm=$PEAK_KB
    sync
    timed zip -6 -r -q "$ref" .
    local zc=$SECONDS_TAKEN zcm=$PEAK_KB
    popd >/dev/null
    # How fast this machine fills the page cache just now: it has been seen
    # between 90 MB/s and over 1 GB/s from one hour to the next, and every
    # extraction pays it, one core for unzip and for a large member.
    if [ -n "${FOREIGN_ONLY:-}" ]; then
        printf '\n%s: %s files, %s (%s cores)\n' "$name" "$(find "$folder" -type f | wc -l)" \
            "$(du -sh --apparent-size "$folder" | cut -f1)" "$(nproc)"
        foreign "$name" "$ref" "$kuv"
        return
    fi
    local rate
    rate=$(dd if=/dev/zero of="$OUT/write-probe" bs=1M count=256 2>&1 | awk -F, '/copied/ { print $NF }')
    rm -f "$OUT/write-probe"
    local -a kes=() kems=() ues=() uems=() kts=() ktms=() uts=() utms=()
    local round tool
    local -a turns=("kuvzip unzip" "unzip kuvzip" "kuvzip unzip")
    for round in 1 2 3; do
        for tool in ${turns[round - 1]}; do
            sync
            if [ "$tool" = kuvzip ]; then
                timed "$CLI" extract --preserve-path --overwrite "$kuv" "$OUT/$name-by-kuvzip-$round"
                kes+=("$SECONDS_TAKEN"); kems+=("$PEAK_KB")
            else
                timed unzip -qq -o "$kuv" -d "$OUT/$name-by-unzip-$round"
                ues+=("$SECONDS_TAKEN"); uems+=("$PEAK_KB")
            fi
        done
    done
    for round in 1 2 3; do
        timed "$CLI" test "$kuv"
        kts+=("$SECONDS_TAKEN"); ktms+=("$PEAK_KB")
        timed unzip -tqq "$kuv"
        uts+=("$SECONDS_TAKEN"); utms+=("$PEAK_KB")
    done
    local ke ue kt ut kem uem ktm utm
    ke=$(median "${kes[@]}"); ue=$(median "${ues[@]}"); kt=$(median "${kts[@]}"); ut=$(median "${uts[@]}")
    kem=$(most "${kems[@]}"); uem=$(most "${uems[@]}"); ktm=$(most "${ktms[@]}"); utm=$(most "${utms[@]}")
    printf '\n%s: %s files, %s (%s cores; ratio = reference time / kuvzip-cli time, above 1: faster)\n' "$name" \
        "$(find "$folder" -type f | wc -l)" "$(du -sh --apparent-size "$folder" | cut -f1)" "$(nproc)"
    line create "$zc" "$kc" "$zcm" "$kcm" "zip -6"
    line extract "$ue" "$ke" "$uem" "$kem" "unzip -o"
    line test "$ut" "$kt" "$utm" "$ktm" "unzip -t"
    printf '  (medians of three rounds; extract: unzip %s s, kuvzip-cli %s s; test: unzip %s s, kuvzip-cli %s s;' \
        "${ues[*]}" "${kes[*]}" "${uts[*]}" "${kts[*]}"
    printf ' peaks: the highest of the rounds; page cache filled at%s before them)\n' "$rate"
    printf '  %-8s zip -6 %12d bytes, kuvzip-cli %12d bytes, ratio %s\n' size "$(size "$ref")" "$(size "$kuv")" \
        "$(ratio "$(size "$ref")" "$(size "$kuv")")"
    unzip -tqq "$kuv" >/dev/null 2>&1 && echo "  unzip -t: the kuvzip archive is sound" || echo "  WARNING: unzip -t finds errors in the kuvzip archive"
    local same=1
    for round in 1 2 3; do
        diff -rq "$OUT/$name-by-kuvzip-$round" "$OUT/$name-by-unzip-1" >/dev/null || same=0
    done
    [ "$same" = 1 ] && echo "  extracted trees identical" || echo "  WARNING: the extracted trees differ"
    for kb in "$kcm" "$kem" "$ktm"; do [ "$kb" -lt 16384 ] || echo "  WARNING: a peak memory of 16 MiB or more"; done
    foreign "$name" "$ref" "$kuv"
}

# The archive zip -6 wrote of a set (members as one deflate stream each),
# extracted followed by sync by kuvzip-cli, unzip -o, bsdtar -xf and 7z x
# (tools missing are left out), three rounds, the order turning each round;
# and kuvzip-cli's own archive of the same files, extracted followed by
# sync, for the comparison. Medians; peaks are the highest of the rounds.
foreign() {  # NAME ZIP6_ARCHIVE KUV_ARCHIVE
    local name=$1 ref=$2 kuv=$3 round tool
    local -a tools=(kuvzip own unzip)
    command -v bsdtar >/dev/null && tools+=(bsdtar)
    command -v 7z >/dev/null && tools+=(7z)
    declare -A times=() peaks=()
    for round in 1 2 3; do
        local -a order=("${tools[@]:round-1}" "${tools[@]:0:round-1}")
        for tool in "${order[@]}"; do
            local dest="$OUT/$name-by-foreign-$tool-$round"
            rm -rf "$dest"; mkdir -p "$dest"; sync
            case $tool in
                kuvzip) timed sh -c "'$CLI' extract --preserve-path --overwrite '$ref' '$dest' && sync" ;;
                own) timed sh -c "'$CLI' extract --preserve-path --overwrite '$kuv' '$dest' && sync" ;;
                unzip) timed sh -c "unzip -qq -o '$ref' -d '$dest' && sync" ;;
                bsdtar) timed sh -c "bsdtar -xf '$ref' -C '$dest' && sync" ;;
                7z) timed sh -c "7z x -y -o'$dest' '$ref' >/dev/null && sync" ;;
            esac
            times[$tool]="${times[$tool]:-} $SECONDS_TAKEN"; peaks[$tool]="${peaks[$tool]:-} $PEAK_KB"
        done
    done
    printf '  zip -6 archive extracted + sync (medians of three rounds, order turning):\n'
    local k
    k=$(median ${times[kuvzip]})
    for tool in "${tools[@]}"; do
        local m
        m=$(median ${times[$tool]})
        printf '    %-8s %7.2f s  (%s)  peak %7d KiB  time / kuvzip-cli: %s\n' "$tool" "$m" "${times[$tool]# }" \
            "$(most ${peaks[$tool]})" "$(ratio "$m" "$k")"
    done
    diff -rq "$OUT/$name-by-foreign-kuvzip-1" "$OUT/$name-by-foreign-unzip-1" >/dev/null &&
        echo "    extracted trees identical" || echo "    WARNING: the extracted trees differ"
}

# ---------------------------------------------------------------- browse
# The browse window's first display (kuvzip-browse-bench, no widgets): a
# backup of the 20,000 small files, its members listed and given their
# size/date states against the files themselves (the folder listed too).
# One run. Skipped with NO_BROWSE=1; ONLY_BROWSE=1 runs this row alone.
BROWSE_BENCH="$PWD/$BUILD_DIR/bin/kuvzip-browse-bench"
browse_row() {
    [ -x "$BROWSE_BENCH" ] || { echo "kuvzip-browse-bench not found in $BUILD_DIR/bin" >&2; return 0; }
    local archive="$OUT/browse/KuvSav-2612081015.zip"
    rm -rf "$OUT/browse"; mkdir -p "$OUT/browse"
    pushd "$SMALL" >/dev/null
    "$CLI" create --recurse --path-mode 2 "$archive" "*.*" >/dev/null
    popd >/dev/null
    sync
    /usr/bin/time -f "%e %M" -o "$OUT/browse/time.log" "$BROWSE_BENCH" "$archive" "$SMALL" >"$OUT/browse/out.txt" 2>&1 || true
    read -r SECONDS_TAKEN PEAK_KB < <(tail -n 1 "$OUT/browse/time.log")
    printf '\nBrowse window of %s against %s\n' "$archive" "$SMALL"
    sed 's/^/  /' "$OUT/browse/out.txt"
    printf '  %-44s %8.2f s  peak %7d KiB\n' "whole process (kuvzip-browse-bench)" "$SECONDS_TAKEN" "$PEAK_KB"
}
if [ -n "${ONLY_BROWSE:-}" ]; then
    browse_row
    exit 0
fi

SETS=${SETS:-big small}
case " $SETS " in *" big "*) compare "benchmark set" "$DATA" ;; esac
case " $SETS " in *" small "*) compare "20000 small files" "$SMALL" ;; esac
[ -f "$OUT/benchmark set-kuvzip.zip" ] && cp "$OUT/benchmark set-kuvzip.zip" "$OUT/kuvzip.zip"

# ---------------------------------------------------------------- backup job
if [ -z "${NO_JOB:-}" ] && [ -x "$BUILD_DIR/bin/test_backup" ]; then
    printf '\nBackup job (tools/benchmark-job.sh)\n'
    bash tools/benchmark-job.sh "$BUILD_DIR" "$DATA"
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

[ -n "${NO_BROWSE:-}" ] || browse_row

# ---------------------------------------------------------------- copy
# The copy of the archive just made to a cloud or exchange folder on the same
# disk, read-back included, against cp + sync (skipped with NO_COPY=1).
if [ -z "${NO_COPY:-}" ] && [ -f tools/benchmark-copy.sh ]; then
    printf '\nCopy of %s to a folder of the same disk\n' "$OUT/kuvzip.zip"
    bash tools/benchmark-copy.sh "$BUILD_DIR" "$OUT/kuvzip.zip" "$OUT"
fi

# The extracted trees go last (see remove_trees).
printf '\n'
remove_trees "$OUT/"*-by-kuvzip-* "$OUT/"*-by-unzip-* "$OUT/"*-by-foreign-*
