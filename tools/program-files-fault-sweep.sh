#!/bin/sh
# Faults tried for real on "Sauvegarder les PROGRAMMES" and "Restaurer
# l'ancienne Version": each command (kuvzip-programs-bench, the commands'
# logic without widgets) runs under strace with, at the Kth call of a system
# call, a SIGKILL, or EIO (that call only, or from it on), ENOSPC or EROFS
# (from it on); then on a private tmpfs (unshare -m) too small for it, at
# growing sizes. After each case, and after the next start's recovery
# (`kuvzip-programs-bench recover`) and the next command, "Sauve_prog" must
# hold exactly one whole set, the installation folder must be all old or all
# new, file for file, with no work name left, and the command's own message
# must have been true (success only over the whole new state, "nothing
# replaced" only over the whole old one).
#
#   tools/program-files-fault-sweep.sh [BUILD_DIR] [FILES] [STRIDE] [MODES]
#
# FILES program files (default 12, at least 3); every STRIDEth call of each system call
# (default 1: all); MODES among kill eio eio+ enospc+ erofs+ tmpfs (default
# all); SWEEP_SYSCALLS in the environment narrows the system calls. Needs strace; the tmpfs cases need root and unshare (left out
# otherwise). The work goes under $TMPDIR (/dev/shm makes it quicker: the
# faults are injected, not met). Prints one line per case that is not whole, then the counts;
# exits 1 if any case is not whole (77 without strace).
set -eu

command -v strace >/dev/null && strace -qq -o /dev/null true 2>/dev/null || { echo "no working strace here"; exit 77; }
BUILD_DIR=${1:-build}
FILES=${2:-12}
[ "$FILES" -ge 3 ] || FILES=3
STRIDE=${3:-1}
MODES=${4:-kill eio eio+ enospc+ erofs+ tmpfs}
BENCH=$(cd "$BUILD_DIR/bin" && pwd)/kuvzip-programs-bench
WORK=$(mktemp -d "${TMPDIR:-/tmp}/kuvzip-programs-sweep.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
cd "$WORK"

# The saved set (A): libraries of growing sizes, one large, a link, an
# executable script, a plain file that is no program. The installation
# then (B): every other library changed, the link turned into a plain file,
# one library removed, the script no longer executable.
mkdir setup
i=1
while [ "$i" -le "$FILES" ]; do
    head -c $((i * 3000 + 100)) /dev/urandom >"setup/lib$i.so"
    i=$((i + 1))
done
head -c 200000 /dev/urandom >setup/gros.dll
ln -s lib1.so setup/lib1.so.1
printf '#!/bin/sh\necho lancer\n' >setup/lancer.sh
chmod 755 setup/lancer.sh
echo "pas un programme" >setup/notes.txt
"$BENCH" backup setup >/dev/null
i=2
while [ "$i" -le "$FILES" ]; do
    echo "version cassée $i" >"setup/lib$i.so"
    i=$((i + 2))
done
rm setup/lib1.so.1 setup/lib3.so
echo "plus un lien" >setup/lib1.so.1
chmod 644 setup/lancer.sh
cp -a setup old

# A folder, file for file (mode, link target, checksum), without its work
# names; the marker by its presence only (its date is the minute's).
manifest() {
    (cd "$1" && find . -mindepth 1 -maxdepth 1 ! -name Sauve_prog ! -name '.kuvzip-*' -printf '%M %p %l\n' |
        LC_ALL=C sort &&
        find . -mindepth 1 -maxdepth 1 -type f ! -name temoin.txt ! -name '.kuvzip-*' -exec cksum {} + |
        LC_ALL=C sort)
}
workNames() { find "$1" -name '.kuvzip-*' | head -1; }

# The states to compare with: the installation all old (B) or all new (the
# saved set placed), and the saved sets A and B (a backup of each state).
manifest old/Sauve_prog >set-a
rm -rf new && cp -a old new && "$BENCH" restore new >/dev/null
manifest old >inst-old
manifest new >inst-new
rm -rf b && cp -a old b && "$BENCH" backup b >/dev/null && manifest b/Sauve_prog >set-b
rm -rf nb && cp -a new nb && "$BENCH" backup nb >/dev/null && manifest nb/Sauve_prog >set-after-new
cmp -s inst-old inst-new && { echo "the sweep's two states do not differ"; exit 1; }

cases=0 bad=0 failed=0 allOld=0 allNew=0 setA=0 setB=0
fault() { echo "$*"; bad=$((bad + 1)); }

# Judges app after COMMAND ended with STATUS; label for the report. With
# RECOVERED set, app-recovered holds the folder the next start (already run)
# left.
judge() {  # LABEL COMMAND STATUS [RECOVERED]
    cases=$((cases + 1))
    [ "$3" -ne 0 ] && failed=$((failed + 1))
    manifest app/Sauve_prog >got-set
    manifest app >got
    if [ "$2" = backup ]; then
        if ! cmp -s got inst-old; then fault "$1: the backup changed the installation"; return; fi
        if cmp -s got-set set-a; then
            setA=$((setA + 1))
            [ "$3" -eq 0 ] && { fault "$1: success told over the old set"; return; }
        elif cmp -s got-set set-b; then
            setB=$((setB + 1))
            [ "$3" -eq 0 ] || [ "$3" -ge 128 ] || { fault "$1: failure told over the new set"; return; }
        else
            fault "$1: Sauve_prog holds no whole set"; return
        fi
    else
        cmp -s got-set set-a || { fault "$1: the restore changed Sauve_prog"; return; }
        if [ "$3" -eq 0 ] && ! cmp -s got inst-new; then fault "$1: success told over a folder not all new"; return; fi
        if [ "$3" -eq 1 ] && [ ! -e app/.kuvzip-programmes.journal ] && ! cmp -s got inst-old; then
            fault "$1: nothing replaced told over a folder not all old"; return
        fi
    fi
    # The next start, then the next command (a backup: it sweeps).
    if [ -n "${4:-}" ]; then
        rm -rf app && mv app-recovered app
        [ -e app/.kuvzip-programmes.journal ] && { fault "$1: the next start did not finish"; return; }
    else
        told=$("$BENCH" recover app 2>&1) || { fault "$1: the next start did not finish: $told"; return; }
    fi
    manifest app >got
    if cmp -s got inst-old; then
        allOld=$((allOld + 1)) want=set-b
    elif cmp -s got inst-new; then
        allNew=$((allNew + 1)) want=set-after-new
    else
        fault "$1: mixed installation folder"; return
    fi
    "$BENCH" backup app >/dev/null 2>&1 || { fault "$1: the next backup failed"; return; }
    manifest app/Sauve_prog >got-set
    cmp -s got-set "$want" || { fault "$1: the next backup holds no whole set"; return; }
    left=$(workNames app)
    [ -z "$left" ] || fault "$1: work name left: $left"
}

# The calls of one run of COMMAND to SYSCALL, the most any one thread made.
count() {  # COMMAND SYSCALL
    rm -rf app && cp -a old app
    strace -f -qq -e trace="$2" -o calls "$BENCH" "$1" app >/dev/null 2>&1 || true
    awk -v s="$2(" 'index($2, s) == 1 { n[$1]++ } END { m = 0; for (t in n) if (n[t] > m) m = n[t]; print m }' calls
}

inject() {  # MODE SYSCALL K -> strace's injection
    case $1 in
        kill) echo "$2:signal=SIGKILL:when=$3" ;;
        eio) echo "$2:error=EIO:when=$3" ;;
        eio+) echo "$2:error=EIO:when=$3+" ;;
        enospc+) echo "$2:error=ENOSPC:when=$3+" ;;
        erofs+) echo "$2:error=EROFS:when=$3+" ;;
    esac
}

for command in backup restore; do
    for syscall in ${SWEEP_SYSCALLS:-renameat2 rename fsync fdatasync write unlink symlink mkdir rmdir}; do
        calls=$(count "$command" "$syscall")
        [ "$calls" -gt 0 ] || continue
        echo "$command: $calls calls to $syscall"
        for mode in $MODES; do
            [ "$mode" = tmpfs ] && continue
            k=1
            while [ "$k" -le "$calls" ]; do
                rm -rf app && cp -a old app
                status=0
                strace -f -qq -o /dev/null -e trace="$syscall" -e inject="$(inject "$mode" "$syscall" "$k")" \
                    "$BENCH" "$command" app >out 2>&1 || status=$?
                judge "$command $syscall $mode at $k" "$command" "$status"
                k=$((k + STRIDE))
            done
        done
    done
done

# A private tmpfs too small for the command: from the size that just holds
# the installation up, in steps of 16 KiB, until the command succeeds. The
# next start runs on the same full disk, then (if it could not finish) once
# the disk has room again.
tmpfsCase() {  # COMMAND SIZE_KIB -> 0 when the command succeeded
    rm -rf app app-recovered fs && mkdir fs
    cat >run.sh <<EOF
mount -t tmpfs -o size=${2}k tmpfs "$WORK/fs" || exit 99
cp -a "$WORK/old" "$WORK/fs/app" 2>/dev/null || exit 98
"$BENCH" $1 "$WORK/fs/app" >"$WORK/out" 2>&1
status=\$?
cp -a "$WORK/fs/app" "$WORK/app"
"$BENCH" recover "$WORK/fs/app" >/dev/null 2>&1 || { mount -o remount,size=4m "$WORK/fs"; "$BENCH" recover "$WORK/fs/app" >/dev/null 2>&1; }
cp -a "$WORK/fs/app" "$WORK/app-recovered"
exit \$status
EOF
    status=0
    unshare -m sh run.sh || status=$?
    return "$status"
}
case " $MODES " in *" tmpfs "*)
    if [ "$(id -u)" = 0 ] && unshare -m true 2>/dev/null; then
        used=$(du -sk old | cut -f1)
        for command in backup restore; do
            size=$((used + 8)) done_=0
            while [ "$done_" = 0 ] && [ "$size" -lt $((used * 4)) ]; do
                status=0
                tmpfsCase "$command" "$size" || status=$?
                [ "$status" -lt 98 ] && judge "$command on a full tmpfs of $size KiB" "$command" "$status" recovered
                [ "$status" -eq 0 ] && done_=1
                size=$((size + 16 * STRIDE))
            done
        done
    else
        echo "tmpfs cases left out: they need root and unshare"
    fi
    ;;
esac

echo "cases: $cases, failed commands: $failed, installation all old: $allOld, all new: $allNew, Sauve_prog left old: $setA, new: $setB, not whole: $bad"
[ "$bad" -eq 0 ]
