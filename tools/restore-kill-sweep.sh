#!/bin/sh
# Kills a real restore at every step and starts the program again after each
# kill: the data folder must then be, file for file, all the backup's version
# (with the files the backup does not hold kept) or all the old one, with no
# work name left.
#
#   tools/restore-kill-sweep.sh [BUILD_DIR] [FILES]
#
# The restore is kuvzip-restore-bench (the restore window's logic, "OUI"
# typed twice); the kill is strace's injection of SIGKILL at the Kth
# renameat2 (every rename of the placement) and rename (the journal's), the Kth
# fsync and syncfs, and a twentieth of the writes of the taking-out; the next start is
# `kuvzip-restore-bench --recover`. Needs strace. Prints one line per case
# that is not whole, then the counts; exits 1 if any case is not whole.
set -eu

BUILD_DIR=${1:-build}
FILES=${2:-300}
BIN=$(cd "$BUILD_DIR/bin" && pwd)
WORK=$(mktemp -d /tmp/kuvzip-kill-sweep.XXXXXX)
trap 'rm -rf "$WORK"' EXIT
cd "$WORK"

# Old folder: every other file in an old version, a third in a sub-folder,
# and one file the backup does not hold. Backup: a new version of each.
mkdir -p new/sous old/sous
i=1
while [ "$i" -le "$FILES" ]; do
    p=f$i.dat
    [ $((i % 3)) = 0 ] && p=sous/f$i.dat
    head -c $((i * 37 + 10)) /dev/urandom >"new/$p"
    [ $((i % 2)) = 0 ] && echo "ancien $i" >"old/$p"
    i=$((i + 1))
done
echo "pas dans la sauvegarde" >old/extra.txt
ARCHIVE=$WORK/KuvSav-2612071015.zip
(cd new && "$BIN/kuvzip-cli" create --path-mode 2 --recurse "$ARCHIVE" '*' >/dev/null)
cp old/extra.txt new/extra.txt

manifest() {
    (cd "$1" && find . -path './Avant restauration*' -prune -o -type f -print | LC_ALL=C sort | while read -r f; do
        printf '%s %s\n' "$(cksum <"$f")" "$f"
    done)
}
manifest new >want-new
manifest old >want-old

# The calls of one restore to SYSCALL, the most any one thread made (strace
# counts each syscall of each thread apart).
count() {
    rm -rf data && cp -a old data
    strace -f -qq -e trace="$1" -o calls "$BIN/kuvzip-restore-bench" "$ARCHIVE" "$WORK/data" >/dev/null 2>&1
    awk -v s="$1(" 'index($2, s) == 1 { n[$1]++ } END { m = 0; for (t in n) if (n[t] > m) m = n[t]; print m }' calls
}

cases=0 killed=0 new_=0 old_=0 bad=0
sweep() {  # SYSCALLS LAST STEP
    k=1
    while [ "$k" -le "$2" ]; do
        rm -rf data && cp -a old data
        status=0
        strace -f -qq -o /dev/null -e trace="$1" -e inject="$1":signal=SIGKILL:when="$k" \
            "$BIN/kuvzip-restore-bench" "$ARCHIVE" "$WORK/data" >restore.out 2>&1 || status=$?
        [ "$status" -ne 0 ] && killed=$((killed + 1))
        told=$("$BIN/kuvzip-restore-bench" --recover "$WORK/data" 2>&1) || {
            echo "$1 at $k: the next start did not finish: $told"
            bad=$((bad + 1))
        }
        manifest data >got
        left=$(find data -name '.kuvzip-*' | head -1)
        if [ -n "$left" ]; then
            echo "$1 at $k: work name left: $left"
            bad=$((bad + 1))
        elif cmp -s got want-new; then
            new_=$((new_ + 1))
        elif cmp -s got want-old; then
            old_=$((old_ + 1))
        else
            echo "$1 at $k: mixed folder"
            bad=$((bad + 1))
        fi
        cases=$((cases + 1))
        k=$((k + $3))
    done
}

RENAMES=$(count renameat2)
JOURNAL=$(count rename)
FSYNCS=$(count fsync)
SYNCFS=$(count syncfs)
WRITES=$(count write)
echo "one restore of $FILES files: $RENAMES renames, $JOURNAL of the journal, $FSYNCS fsync, $SYNCFS syncfs, $WRITES writes in its busiest thread"
sweep renameat2 "$((RENAMES + 1))" 1
sweep rename "$JOURNAL" 1
sweep fsync "$FSYNCS" 1
sweep syncfs "$SYNCFS" 1
sweep write "$WRITES" "$(((WRITES + 19) / 20))"
echo "cases: $cases, killed: $killed, all new after the next start: $new_, all old: $old_, not whole: $bad"
[ "$bad" -eq 0 ]
