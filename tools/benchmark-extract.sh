#!/usr/bin/env bash
# Extraction timing: kuvzip-cli extract against unzip -o, both extracting the
# same archive over files that already exist (every member CRC-checked, no
# per-file fsync), median of three runs each, interleaved in one session.
# Prints both medians, their ratio and the peak memory of each.
#
#   tools/benchmark-extract.sh [ARCHIVE]
#
# Without ARCHIVE a data set is generated (text and binary files in
# sub-folders) and archived with kuvzip-cli create (zip when it is missing).
# KUVZIP_CLI names the tool (default build/bin/kuvzip-cli); WORK a scratch
# folder kept afterwards (default: a temporary one, removed).
set -euo pipefail
cd "$(dirname "$0")/.."
CLI=${KUVZIP_CLI:-build/bin/kuvzip-cli}
[ -x "$CLI" ] || { echo "missing $CLI (build first)" >&2; exit 2; }
CLI=$(readlink -f "$CLI")
if [ -n "${WORK:-}" ]; then mkdir -p "$WORK"; KEEP=1; else WORK=$(mktemp -d); KEEP=0; fi
cleanup() { [ "$KEEP" = 1 ] || rm -rf "$WORK"; }
trap cleanup EXIT

make_data_set() {
  # About 120 MB in 2400 files: compressible text of 1-200 KB, some binary
  # (incompressible) files up to 2 MB, and many small ones.
  python3 - "$1" <<'PY'
import os, random, sys
root = sys.argv[1]
rnd = random.Random(20231224)
words = ["sauvegarde", "client", "facture", "dossier", "montant", "date", "ligne", "total", "remise", "stock"]
for d in range(40):
    folder = os.path.join(root, "dossier%02d" % d, "sous%d" % (d % 3))
    os.makedirs(folder, exist_ok=True)
    for f in range(60):
        kind = rnd.random()
        path = os.path.join(folder, "fichier%03d.%s" % (f, "bin" if kind < 0.1 else "txt"))
        if kind < 0.1:
            data = rnd.randbytes(rnd.randint(100_000, 2_000_000))
        elif kind < 0.6:
            data = rnd.randbytes(rnd.randint(0, 4000))
            data = bytes(b % 64 + 32 for b in data)
        else:
            n = rnd.randint(1_000, 200_000)
            data = " ".join(rnd.choice(words) + str(rnd.randint(0, 999)) for _ in range(n // 9)).encode()
        with open(path, "wb") as out:
            out.write(data)
PY
}

ARCHIVE=${1:-}
if [ -z "$ARCHIVE" ]; then
  make_data_set "$WORK/data"
  ARCHIVE="$WORK/data.zip"
  # Paths relative to the data folder (path mode 2), as a restore needs them.
  (cd "$WORK/data" && "$CLI" create --recurse --path-mode 2 "$ARCHIVE" "*.*" >/dev/null 2>&1) ||
    (cd "$WORK/data" && rm -f "$ARCHIVE" && zip -qr "$ARCHIVE" .)
fi
ARCHIVE=$(readlink -f "$ARCHIVE")

# Both targets hold every file before the timed runs. (unzip exits with 1
# for mere warnings, such as "\" separators in names written on MS-DOS
# hosts; the trees are compared at the end.)
rm -rf "$WORK/by-unzip" "$WORK/by-kuvzip"
unzip -qq -o "$ARCHIVE" -d "$WORK/by-unzip" >/dev/null 2>&1 || true
"$CLI" extract --preserve-path --overwrite "$ARCHIVE" "$WORK/by-kuvzip" 2>/dev/null

# One timed run: prints "SECONDS PEAK_KB".
timed() {
  /usr/bin/time -f "%e %M" -o "$WORK/time.txt" "$@" >/dev/null 2>&1 || true
  tail -n 1 "$WORK/time.txt"
}
median() { printf '%s\n' "$@" | sort -g | sed -n 2p; }

u_times=(); k_times=(); u_mem=0; k_mem=0
for run in 1 2 3; do
  sync
  read -r t m < <(timed unzip -qq -o "$ARCHIVE" -d "$WORK/by-unzip")
  u_times+=("$t"); [ "$m" -gt "$u_mem" ] && u_mem=$m
  sync
  read -r t m < <(timed "$CLI" extract --preserve-path --overwrite "$ARCHIVE" "$WORK/by-kuvzip")
  k_times+=("$t"); [ "$m" -gt "$k_mem" ] && k_mem=$m
done

# The extracted trees must be identical.
diff -r "$WORK/by-unzip" "$WORK/by-kuvzip" >/dev/null || { echo "extracted trees differ" >&2; exit 1; }

u=$(median "${u_times[@]}"); k=$(median "${k_times[@]}")
echo "archive: $ARCHIVE ($(stat -c %s "$ARCHIVE") bytes, $(unzip -Z1 "$ARCHIVE" | wc -l) entries)"
echo "unzip -o runs: ${u_times[*]} s, median $u s, peak memory ${u_mem} KiB"
echo "kuvzip-cli extract runs: ${k_times[*]} s, median $k s, peak memory ${k_mem} KiB"
python3 -c "import sys; u, k = float(sys.argv[1]), float(sys.argv[2]); print('extraction ratio kuvzip/unzip: %.3f' % (k / u if u > 0 else float('nan')))" "$u" "$k"
