#!/usr/bin/env bash
# skelbrook-cli onto the file systems users' sticks and external disks have, each made with its
# own mkfs and mounted through FUSE as desktops do: FAT32 (fusefat), exFAT (exfat-fuse, on a loop
# device) and NTFS (ntfs-3g). None of them renames without replacing; FUSE FAT and exFAT cannot
# link either. Every copy must be byte for byte the reference, no .part may be left, and a
# recording of 4 GiB or more must be refused on FAT32 before anything is read.
# Needs root, FUSE, loop devices and the file systems' packages; skips (status 77) without them.
# Usage: destinations_test.sh PATH-TO-skelbrook-cli PATH-TO-skelbrook-mkimage
set -u

source "$(dirname "$0")/harness.sh"

skip() {
  echo "SKIPPED: $1 (real FAT32, exFAT and NTFS mounts cannot be set up here)"
  exit 77
}
[[ $(id -u) -eq 0 ]] || skip "not root"
for tool in mkfs.vfat fusefat mkfs.exfat mount.exfat-fuse mkntfs ntfs-3g losetup fusermount3 \
  mountpoint python3; do
  command -v "$tool" >/dev/null || skip "$tool is not installed"
done
[[ -e /dev/fuse ]] || skip "no /dev/fuse"

# Every FUSE daemon runs in the foreground under this script, so that it is stopped by its own
# process id once its file system is unmounted.
pids=()
mounts=()
loops=()
cleanup() {
  for m in "${mounts[@]}"; do fusermount3 -u "$m" 2>/dev/null || umount "$m" 2>/dev/null; done
  for p in "${pids[@]}"; do
    kill "$p" 2>/dev/null
    wait "$p" 2>/dev/null
  done
  for l in "${loops[@]}"; do losetup -d "$l" 2>/dev/null; done
  rm -rf "$WORK"
}
trap cleanup EXIT

# mount_fs NAME COMMAND...: starts the file system's daemon on $WORK/NAME and waits for it.
mount_fs() {
  local name=$1
  shift
  mkdir -p "$WORK/$name"
  "$@" >/dev/null 2>&1 &
  pids+=($!)
  mounts+=("$WORK/$name")
  for _ in $(seq 50); do
    mountpoint -q "$WORK/$name" && return 0
    sleep 0.1
  done
  skip "$name could not be mounted"
}

"$MKIMAGE" "$WORK/demo.img" --demo || { echo "FAILED: cannot write the demo image" >&2; exit 1; }
mkdir "$WORK/ref"
run copy "$WORK/demo.img" --to "$WORK/ref" --all
check "the demo disk copies to a local folder" test "$status" -eq 0

truncate -s 64M "$WORK/fat.img" "$WORK/exfat.img" "$WORK/ntfs.img"
mkfs.vfat -F 32 "$WORK/fat.img" >/dev/null || skip "mkfs.vfat failed"
mkfs.exfat "$WORK/exfat.img" >/dev/null || skip "mkfs.exfat failed"
mkntfs -F -Q "$WORK/ntfs.img" >/dev/null 2>&1 || skip "mkntfs failed"
loop=$(losetup -f --show "$WORK/exfat.img") || skip "no loop device"
loops+=("$loop")
mount_fs fat fusefat -f -o rw+ "$WORK/fat.img" "$WORK/fat"
mount_fs exfat mount.exfat-fuse -d "$loop" "$WORK/exfat"
mount_fs ntfs ntfs-3g -o no_detach "$WORK/ntfs.img" "$WORK/ntfs"

# Each copy equals the reference of its row (fusefat takes only ASCII names, so there a name's
# other letters are "_"), and nothing but the copies is left.
same_as_reference() {  # same_as_reference FOLDER JSON
  python3 - "$1" "$2" "$WORK/ref" <<'PY'
import json, os, re, sys
folder, report, ref = sys.argv[1], json.load(open(sys.argv[2])), sys.argv[3]
rows = report["results"]
names = sorted(os.listdir(folder))
ok = len(rows) == 5 and all(r["status"] == "downloaded" for r in rows)
ok = ok and names == sorted(r["file"] for r in rows)
for name in os.listdir(ref):
    plain = re.sub(r"[^\x00-\x7f]", "_", name)
    mine = name if os.path.exists(os.path.join(folder, name)) else plain
    ok = ok and open(os.path.join(ref, name), "rb").read() == \
        open(os.path.join(folder, mine), "rb").read()
sys.exit(0 if ok else 1)
PY
}

for fs in fat:fuse.fusefat:4294967295 exfat:"exfat (fuseblk)":null ntfs:"ntfs (fuse)":null; do
  IFS=: read -r name type limit <<<"$fs"
  run copy "$WORK/demo.img" --to "$WORK/$name" --all --json
  check "$name: the batch copies with status 0" test "$status" -eq 0
  cp "$WORK/out" "$WORK/$name.json"
  check "$name: every copy byte for byte, no .part left" same_as_reference "$WORK/$name" "$WORK/$name.json"
  check "$name: the destination is named ($type, largest file $limit)" python3 -c "
import json, sys
d = json.load(open(sys.argv[1]))['destination']
sys.exit(0 if d['file_system'] == sys.argv[2] and json.dumps(d['max_file_bytes']) == sys.argv[3] else 1)
" "$WORK/$name.json" "$type" "$limit"
  # A second batch refuses every row: nothing already there is replaced.
  run copy "$WORK/demo.img" --to "$WORK/$name" --all
  check "$name: a second batch refuses every existing name" \
    test "$status" -eq 1 -a "$(grep -c 'do not exist' "$WORK/out")" -eq 5
done
check "the text line names the destination" grep -q "^destination $WORK/ntfs: ntfs (fuse), " "$WORK/out"

# A listed recording of 4.3 GB (its clusters stay sparse on the image) on FAT32, not to be copied
# in parts: refused at once,
# with the 4 GiB limit named, and nothing of it left.
C=385024
cat >"$WORK/big.json" <<EOF
{"image_size": 5000000000,
 "recordings": [{"slot": 2, "title": "Long film", "size": 4300000000, "clusters": [0, 1]}]}
EOF
"$MKIMAGE" "$WORK/big.img" --from "$WORK/big.json" || { echo "FAILED: cannot write the big image" >&2; exit 1; }
mkdir "$WORK/fat/big"
started=$(date +%s%N)
run copy "$WORK/big.img" --to "$WORK/fat/big" --all --no-split
elapsed_ms=$((($(date +%s%N) - started) / 1000000))
check "FAT32: the 4.3 GB recording is refused" test "$status" -eq 1
check "FAT32: the reason names the 4 GiB limit" grep -q "(fuse.fusefat): FAT32 holds no file of 4 GiB or more" "$WORK/out"
check "FAT32: refused in ${elapsed_ms} ms (under 5 s)" test "$elapsed_ms" -lt 5000
check "FAT32: nothing of it is left" test -z "$(ls -A "$WORK/fat/big")"

finish
