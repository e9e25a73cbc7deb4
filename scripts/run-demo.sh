#!/usr/bin/env bash
# Builds Kuv-Zip and starts it in a ready demo working folder:
#   demo/work      the working folder: Kuv-Zip.ini, W_intlog.wdo, rapport.txt
#   demo/Donnees   a small sample data folder, the folder backed up
#   ~/S_...donnees two dated backups of the demo data folder on c: (the home
#                  folder), as the backup job names them, so that "Restaurer"
#                  has something to restore at once
# With a display, the main window opens: pick a destination in the list and
# press "Sauvegarder les DONNEES", or press "Restaurer", choose a backup and
# type OUI twice. Without a display (neither DISPLAY nor
# WAYLAND_DISPLAY set), the demo runs as the linked application's request
# for a backup on the desktop ("SAVAUT56" = "NOSIG"), headless, and the
# program closes by itself.
set -euo pipefail
cd "$(dirname "$0")/.."
repo="$(pwd)"
build="$repo/${KUVZIP_BUILD_DIR:-build}"

bash scripts/install-deps.sh
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)" --target kuvzip kuvzip-cli

demo="$repo/demo"
work="$demo/work"
data="$demo/Donnees"
mkdir -p "$work" "$data"

# The sample data folder: a few files of a small business application, one
# empty file and one program file (both left out of the backup).
printf 'Client;Ville;Solde\r\nDupont;Lyon;120,50\r\nMartin;Brest;-35,00\r\n' > "$data/clients.csv"
printf 'Facture 2026-001\r\nTotal : 1 250,00 EUR\r\n' > "$data/factures.txt"
printf 'Journal des ventes\r\n' > "$data/ventes.dat"
head -c 200000 /dev/urandom | base64 > "$data/historique.log"
: > "$data/vide.dat"
printf 'MZ' > "$data/outil.exe"

# Kuv-Zip.ini: data folder, destination root (C: is the home folder), no
# linked program, no options. Four lines ended by CR LF.
printf '%s\r\nC:\r\n\r\n\r\n' "$data" > "$work/Kuv-Zip.ini"

# Two earlier backups of the demo data folder in its backup folder on c:
# (the home folder): yesterday's, made before the last invoice, and one of an
# hour ago. The backup folder's name is the job's: "S_" + the data folder in
# lower case, separators as "_", other characters left out.
backups="$HOME/S_$(printf '%s' "$data" | tr 'A-Z' 'a-z' | tr '/\\' '__' | tr -cd 'a-z0-9_')"
mkdir -p "$backups"
older="$(mktemp -d)"
printf 'Client;Ville;Solde\r\nDupont;Lyon;80,00\r\n' > "$older/clients.csv"
printf 'Facture 2026-000\r\nTotal : 900,00 EUR\r\n' > "$older/factures.txt"
printf 'Journal des ventes (hier)\r\n' > "$older/ventes.dat"
cli="$build/bin/kuvzip-cli"
"$cli" create --overwrite --comment "Sauvegarde $data (démo, hier)" \
  "$backups/KuvSav-$(date -d '-1 day' +%y%m%d%H%M).zip" "$older/*.*" >/dev/null
rm -rf "$older"
"$cli" create --overwrite --comment "Sauvegarde $data (démo)" \
  "$backups/KuvSav-$(date -d '-1 hour' +%y%m%d%H%M).zip" "$data/clients.csv" "$data/factures.txt" \
  "$data/ventes.dat" "$data/historique.log" >/dev/null
echo "Backups to restore in $backups:"
ls "$backups"

cd "$work"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  # The linked application's request, as it leaves it in the link file
  # W_intlog.wdo: 128-byte records, a header "#INIT#" holding the count.
  python3 - <<'PY'
import struct
def record(key, value, count=0):
    return (key.upper().ljust(15)[:15] + ' ' * 8 + value.ljust(40)[:40] + ' ' * 61).encode('cp1252') \
        + struct.pack('<i', count)
values = [('SAVAUT56', 'NOSIG'), ('NOMFICATO', 'Demo{D}')]
with open('W_intlog.wdo', 'wb') as f:
    f.write(record('#INIT#', '', len(values)))
    for key, value in values:
        f.write(record(key, value))
PY
  echo "No display: running the demo as an unattended backup on the desktop (SAVAUT56 = NOSIG)."
  status=0
  if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
    XDG_RUNTIME_DIR="$(mktemp -d)"
    export XDG_RUNTIME_DIR
  fi
  QT_QPA_PLATFORM=offscreen timeout 120 "$build/bin/kuvzip" || status=$?
  desktop="$(xdg-user-dir DESKTOP 2>/dev/null || echo "$HOME/Desktop")"
  echo "kuvzip ended with status $status."
  echo "Archive(s) on the desktop ($desktop):"
  ls -l "$desktop"/Demo_*.zip 2>/dev/null || echo "  (none found)"
  echo "Report: $work/rapport.txt"
  [ -f "$work/rapport.txt" ] && iconv -f WINDOWS-1252 -t UTF-8 "$work/rapport.txt" | tr -d '\r' || true
  exit "$status"
fi

# An interactive start: no request of the linked application left over.
rm -f W_intlog.wdo
echo "Starting kuvzip in $work (data folder $data)."
exec "$build/bin/kuvzip"
