#!/usr/bin/env bash
# skelbrook-cli copying a recording of 4.3 GB onto a real FAT32 file system (mkfs.vfat, mounted
# through fusefat as desktops do), which holds no file of 4 GiB or more, and whose driver writes
# none past 2 GiB: it goes in parts "NAME - part1.ts", "NAME - part2.ts", ... cut at packet
# boundaries, each within both limits and dated, that joined are the recording byte for byte;
# --no-split refuses it with nothing left, and so does a part already there. With "refusals-only" the 4.3 GB copy itself is left out (the sanitizer
# build: it would only measure the FUSE file system twice).
# Needs root, FUSE and fusefat; skips (status 77) without them.
# Usage: fat_parts_test.sh PATH-TO-skelbrook-cli PATH-TO-skelbrook-mkimage [refusals-only]
set -u

source "$(dirname "$0")/harness.sh"
only_refusals=${3:-}

skip() {
  echo "SKIPPED: $1 (a real FAT32 mount cannot be set up here)"
  exit 77
}
[[ $(id -u) -eq 0 ]] || skip "not root"
for tool in mkfs.vfat fusefat fusermount3 mountpoint mcopy python3; do
  command -v "$tool" >/dev/null || skip "$tool is not installed"
done
[[ -e /dev/fuse ]] || skip "no /dev/fuse"

pid=""
cleanup() {
  fusermount3 -u "$WORK/fat" 2>/dev/null
  if [[ -n $pid ]]; then
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
  fi
  rm -rf "$WORK"
}
trap cleanup EXIT

# 11,169 clusters (4,300,000,000 bytes) on a sparse image: only the clusters at the ends and on
# both sides of each cut (every 5,577 clusters, the most a part of 2 GiB holds) are written; the
# others read as zeros.
cat >"$WORK/big.json" <<EOF
{"media_fat_entries": 11200,
 "recordings": [{"slot": 2, "title": "Long film", "channel": "ONE", "start": 1709623800,
                 "end": 1709640000, "size": 4300000000, "seed": 7,
                 "written_clusters": [0, 1, 5576, 5577, 11153, 11154, 11168]}]}
EOF
"$MKIMAGE" "$WORK/big.img" --from "$WORK/big.json" || { echo "FAILED: cannot write the big image" >&2; exit 1; }
# Hashing 4.3 GB twice would double the test: any write would change its size or times.
before=$(stat -c "%s %Y %Z" "$WORK/big.img")
name="002_073005Mar_Long film"

# 32 KiB clusters, as FAT32 sticks of this size are formatted (and half the time through fusefat).
truncate -s 4700M "$WORK/fat.img"
mkfs.vfat -F 32 -s 64 "$WORK/fat.img" >/dev/null || skip "mkfs.vfat failed"
mkdir "$WORK/fat"
fusefat -f -o rw+ "$WORK/fat.img" "$WORK/fat" >/dev/null 2>&1 &
pid=$!
for _ in $(seq 50); do
  mountpoint -q "$WORK/fat" && break
  sleep 0.1
done
mountpoint -q "$WORK/fat" || skip "fusefat could not mount"

# --no-split: refused before anything is read, the 4 GiB limit named, nothing left.
mkdir "$WORK/fat/big"
run copy "$WORK/big.img" --to "$WORK/fat/big" --all --no-split
check "--no-split refuses the recording" test "$status" -eq 1
check "--no-split names the 4 GiB limit" grep -q "(fuse.fusefat): FAT32 holds no file of 4 GiB or more" "$WORK/out"
check "--no-split leaves nothing" test -z "$(ls -A "$WORK/fat/big")"

# A part already there refuses the recording, names it, and stays as it was.
echo "an older part" >"$WORK/fat/big/$name - part2.ts"
run copy "$WORK/big.img" --to "$WORK/fat/big" --all
check "a part already there refuses the recording" test "$status" -eq 1
check "and the row names it" grep -qF "failed $name - part2.ts: Errors! Make sure" "$WORK/out"
check "nothing else is written, the part is untouched" test "$(ls -A "$WORK/fat/big")" = "$name - part2.ts" -a \
  "$(cat "$WORK/fat/big/$name - part2.ts")" = "an older part"
rm "$WORK/fat/big/$name - part2.ts"

if [[ $only_refusals != refusals-only ]]; then
  run list "$WORK/big.img" --json
  cp "$WORK/out" "$WORK/list.json"
  run copy "$WORK/big.img" --to "$WORK/fat/big" --all --json --nfo
  check "the 4.3 GB recording is copied in parts (status 0)" test "$status" -eq 0
  cp "$WORK/out" "$WORK/copy.json"
  # The parts as the mount shows them: names, sizes, the cut at a packet boundary, dates; the
  # JSON row; the guide file.
  check "the parts are named, cut and dated as a stack" python3 - "$WORK" "$name" <<'PY'
import json, os, sys
work, name = sys.argv[1], sys.argv[2]
folder = os.path.join(work, "fat", "big")
row = json.load(open(os.path.join(work, "copy.json")))["results"][0]
parts = [name + " - part%d.ts" % k for k in (1, 2, 3)]
assert row["status"] == "downloaded" and row["parts"] == parts, row
assert row["file"] == parts[0] and row["bytes"] == 4300000000, row
assert "split into 3 parts" in row["note"], row
assert sorted(os.listdir(folder)) == sorted(parts + [name + ".nfo"]), os.listdir(folder)
sizes = [os.path.getsize(os.path.join(folder, p)) for p in parts]
assert sizes == [2147278848, 2147278848, 4300000000 - 2 * 2147278848], sizes
assert sizes[0] <= 2**31 and sizes[0] % 188 == 0, sizes
for p in parts:  # FAT keeps times to two seconds
    assert abs(os.stat(os.path.join(folder, p)).st_mtime - 1709623800) <= 2, p
PY
  # Joined, byte for byte the recording as the image holds it (each 4-byte group reversed). The
  # parts are read off the FAT image itself (fusefat reads a large file slowly).
  fusermount3 -u "$WORK/fat" && wait "$pid"
  pid=""
  check "the parts joined are the recording" python3 - "$WORK" "$name" <<'PY'
import array, json, os, subprocess, sys
work, name = sys.argv[1], sys.argv[2]
listing = json.load(open(os.path.join(work, "list.json")))["recordings"][0]
image = open(os.path.join(work, "big.img"), "rb")
image.seek(listing["file_offset"])
piece, total = 1 << 20, 0
for k in (1, 2, 3):
    part = "::big/%s - part%d.ts" % (name, k)
    mcopy = subprocess.Popen(["mcopy", "-i", os.path.join(work, "fat.img"), part, "-"],
                             stdout=subprocess.PIPE)
    while True:
        got = mcopy.stdout.read(piece)
        if not got:
            break
        want = array.array("I", image.read(len(got) + 3 & ~3))
        want.byteswap()
        assert got == want.tobytes()[:len(got)], "part %d differs before byte %d" % (k, total)
        total += len(got)
    assert mcopy.wait() == 0, part
    if k < 3:  # the next part goes on where this one ended: back to its 4-byte group
        image.seek(listing["file_offset"] + total)
assert total == 4300000000, total
PY
fi

check "the disk image is unchanged" test "$(stat -c "%s %Y %Z" "$WORK/big.img")" = "$before"
finish
