#!/usr/bin/env bash
# skelbrook-cli on a real failing block device: the image is served by nbdkit with a ddrescue
# mapfile of bad sectors (real EIO), exported as a file by nbdfuse and attached read-only with
# direct I/O as a loop device. One unreadable sector at a time in each part of the catalogue:
# every readable recording is still listed and copied byte for byte, exactly the lost bytes are
# reported (stderr, JSON, exit status 5), and nothing is ever copied along a guessed chain.
# Needs root, loop devices, FUSE, nbdkit and nbdfuse; skips (status 77) where they are missing.
# Usage: failing_disk_test.sh PATH-TO-skelbrook-cli PATH-TO-skelbrook-mkimage
set -u

source "$(dirname "$0")/harness.sh"

skip() {
  echo "SKIPPED: $1 (a real failing block device cannot be set up here)"
  exit 77
}
[[ $(id -u) -eq 0 ]] || skip "not root"
for tool in nbdkit nbdfuse losetup fusermount3 python3 strace; do
  command -v "$tool" >/dev/null || skip "$tool is not installed"
done
[[ -e /dev/fuse ]] || skip "no /dev/fuse"

C=385024
SYSTEM=40000  # the system area's descriptor sector
cat >"$WORK/design.json" <<EOF
{
  "system_descriptor_sector": $SYSTEM,
  "recordings": [
    {"slot": 2, "title": "One", "channel": "ABC1", "start": 1736105400, "end": 1736107200,
     "size": $((C + 5000)), "seed": 3, "clusters": [0, 1], "description": "About one"},
    {"slot": 3, "title": "Two", "channel": "SBS", "start": 1736109000, "end": 1736110800,
     "size": $((C + 6000)), "seed": 4, "clusters": [300, 301], "description": "About two"},
    {"slot": 4, "title": "Three", "channel": "SBS", "start": 1736112600, "end": 1736114400,
     "size": 9000, "seed": 5, "clusters": [2], "description": "About three"},
    {"slot": 5, "title": "Four", "channel": "ABC1", "start": 1736116200, "end": 1736118000,
     "size": 20000, "seed": 6, "clusters": [3], "description": "About four"},
    {"slot": 6, "title": "Five", "channel": "ABC1", "start": 1736119800, "end": 1736121600,
     "size": 30000, "seed": 7, "clusters": [4], "description": "About five"},
    {"slot": 7, "title": "Six", "channel": "SBS", "start": 1736123400, "end": 1736125200,
     "size": 40000, "seed": 8, "clusters": [5], "description": "About six"}
  ]
}
EOF
"$MKIMAGE" "$WORK/disk.img" --from "$WORK/design.json" || { echo "FAILED: cannot write the image" >&2; exit 1; }
chmod 0444 "$WORK/disk.img"
before=$(sha256sum <"$WORK/disk.img")

# The reference: the healthy image, listed and copied.
mkdir "$WORK/ref"
run list "$WORK/disk.img" --json
check "the healthy image lists with status 0" test "$status" -eq 0
cp "$WORK/out" "$WORK/ref.json"
run copy "$WORK/disk.img" --to "$WORK/ref" --all
check "the healthy image copies with status 0" test "$status" -eq 0

# Where things are: the system descriptor's directory and table sectors (little-endian at 252
# and 260), the record list (system cluster 1, after the data area 872 sectors on), the media
# table (sector 640, entry c + 1 for cluster c) and slot 3's guide sector.
read -r rootdir systable guide < <(python3 - "$WORK/disk.img" "$SYSTEM" "$WORK/ref.json" <<'PY'
import json, struct, sys
with open(sys.argv[1], "rb") as f:
    f.seek(int(sys.argv[2]) * 512)
    d = f.read(512)
rows = json.load(open(sys.argv[3]))["recordings"]
print(struct.unpack_from("<I", d, 252)[0] * 512, struct.unpack_from("<I", d, 260)[0] * 512,
      [r for r in rows if r["slot"] == 3][0]["epg_offset"])
PY
)
recordlist=$(((SYSTEM + 872) * 512 + 16384))

# Serves the image with the bad bytes given as pairs "OFFSET LENGTH ..." (in order) through a
# loop device in $dev; nbdkit logs every request to $WORK/requests.log.
attach() {
  local size
  size=$(stat -c %s "$WORK/disk.img")
  {
    echo "# Mapfile"
    echo "0x0 +"
    python3 - "$size" "$@" <<'PY'
import sys
size, pairs = int(sys.argv[1]), list(map(int, sys.argv[2:]))
at = 0
for bad, length in zip(pairs[::2], pairs[1::2]):
    for first, count, state in ((at, bad - at, "+"), (bad, length, "-")):
        if count > 0:
            print(f"{first:#x} {count:#x} {state}")
    at = bad + length
if size > at:
    print(f"{at:#x} {size - at:#x} +")
PY
  } >"$WORK/map"
  mkdir -p "$WORK/mnt"
  rm -f "$WORK/requests.log"
  # With $slow, every read waits that long, as on a disk that struggles.
  nbdkit -r -U "$WORK/nbd.sock" -P "$WORK/nbdkit.pid" --filter=log --filter=delay --filter=ddrescue \
    file file="$WORK/disk.img" ddrescue-mapfile="$WORK/map" logfile="$WORK/requests.log" \
    rdelay="${slow:-0}" || return 1
  nbdfuse -r -P "$WORK/nbdfuse.pid" "$WORK/mnt/disk" --unix "$WORK/nbd.sock" 2>/dev/null &
  for _ in $(seq 50); do [[ -s "$WORK/nbdfuse.pid" ]] && break; sleep 0.1; done
  dev=$(losetup -f --show -r --direct-io=on "$WORK/mnt/disk") || return 1
}

detach() {
  [[ -n "${dev:-}" ]] && losetup -d "$dev"
  dev=
  mountpoint -q "$WORK/mnt" && fusermount3 -u "$WORK/mnt"
  if [[ -s "$WORK/nbdkit.pid" ]]; then
    local pid
    pid=$(cat "$WORK/nbdkit.pid")
    kill "$pid" 2>/dev/null
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  fi
  rm -f "$WORK/nbdkit.pid" "$WORK/nbdfuse.pid" "$WORK/nbd.sock"
}
trap 'detach; rm -rf "$WORK"' EXIT

attach 0 512 || skip "nbdkit, nbdfuse or losetup failed"
detach

# Checks the JSON of list (in $WORK/out) against the reference: the rows listed are exactly
# those of the slots given, each as the healthy disk lists it except for the fields problems
# may change; one unreadable range, of the area and bytes given.
expect_list() {  # AREA FIRST BYTES SLOTS-WITH-PROBLEMS SLOTS...
  python3 - "$WORK/ref.json" "$WORK/out" "$@" <<'PY'
import json, sys
ref = {r["slot"]: r for r in json.load(open(sys.argv[1]))["recordings"]}
got = json.load(open(sys.argv[2]))
area, first, length, troubled = sys.argv[3], int(sys.argv[4]), int(sys.argv[5]), sys.argv[6]
troubled = [int(s) for s in troubled.split(",") if s]
slots = [int(s) for s in sys.argv[7:]]
assert got["unreadable"] == [{"area": area, "first_byte": first, "bytes": length,
                              "error": "Input/output error"}], got["unreadable"]
assert [r["slot"] for r in got["recordings"]] == slots, [r["slot"] for r in got["recordings"]]
for r in got["recordings"]:
    want = dict(ref[r["slot"]])
    if r["slot"] in troubled:
        assert r["problems"], r
        for key in ("description", "size", "size_text", "file_offset", "row_text", "row", "problems"):
            want.pop(key)
            r.pop(key)
    else:
        want.pop("row"), r.pop("row")
    assert r == want, (r, want)
PY
}

# Copies everything listed into a fresh folder; the rows of FAILED slots failed with REASON, the
# others equal the reference copies.
expect_copy() {  # REASON FAILED-SLOTS
  rm -rf "$WORK/copy" && mkdir "$WORK/copy"
  run copy "$dev" --to "$WORK/copy" --all --json
  python3 - "$WORK/out" "$WORK/ref" "$WORK/copy" "$@" <<'PY'
import json, os, sys
results = json.load(open(sys.argv[1]))["results"]
ref, copy, reason = sys.argv[2], sys.argv[3], sys.argv[4]
failing = [int(s) for s in sys.argv[5].split(",") if s]
for r in results:
    path = os.path.join(copy, r["file"])
    if r["slot"] in failing:
        assert r["status"] == "failed" and reason in r["reason"], r
        assert not os.path.exists(path) and not os.path.exists(path + ".part"), r
    else:
        assert r["status"] == "downloaded", r
        assert open(path, "rb").read() == open(os.path.join(ref, r["file"]), "rb").read(), r
assert sorted(os.listdir(copy)) == sorted(r["file"] for r in results if r["slot"] not in failing)
PY
}

stderr_says() { grep -qxF "$1" "$WORK/err"; }

# The record list's second sector: records 1, 2 and 3 (slots 3, 4, 5) have bytes in it.
attach $((recordlist + 512)) 512
run list "$dev" --json
check "record list: status 5" test "$status" -eq 5
check "record list: the other records listed exactly" expect_list "_RECORD_LIST_" $((recordlist + 512)) 512 "" 2 6 7
check "record list: stderr names the range" stderr_says \
  "Unreadable: _RECORD_LIST_: 512 bytes at byte $((recordlist + 512)) ($(printf '0x%X' $((recordlist + 512)))) could not be read (Input/output error)"
check "record list: the listed recordings copy exactly, status 5" expect_copy "" ""
check "record list: copy status 5" test "$status" -eq 5
detach

# Slot 3's guide sector: only its description is lost.
attach "$guide" 512
run list "$dev" --json
check "guide: status 5" test "$status" -eq 5
check "guide: every recording listed, one without its text" expect_list "guide sector" "$guide" 512 3 2 3 4 5 6 7
check "guide: the description is empty" python3 -c '
import json, sys
r = [r for r in json.load(open(sys.argv[1]))["recordings"] if r["slot"] == 3][0]
assert r["description"] == "" and "guide text could not be read" in r["problems"][0], r' "$WORK/out"
check "guide: everything copies exactly" expect_copy "" ""
detach

# The media directory's second sector: entries 4 and 5 (slots 6 and 7).
attach $((119 * 512)) 512
run list "$dev" --json
check "media directory: status 5" test "$status" -eq 5
check "media directory: every recording listed, two without size" expect_list "media directory" $((119 * 512)) 512 6,7 2 3 4 5 6 7
unknown="the media directory could not be read: its size and place are unknown"
check "media directory: those two fail with the reason, the rest copy exactly" expect_copy "$unknown" 6,7
check "media directory: copy status 1" test "$status" -eq 1
detach

# The media table's sector holding the entries of clusters 300 and 301 (slot 3's chain).
table=$((640 * 512 + 4 * 256))
attach "$table" 512
run list "$dev" --json
check "media table: status 5" test "$status" -eq 5
check "media table: every recording listed" expect_list "media allocation table" "$table" 512 "" 2 3 4 5 6 7
check "media table: slot 3 fails naming the table, never a guessed chain" \
  expect_copy "the media allocation table could not be read at bytes $table-$((table + 511))" 3
detach

# The parts without which there is no catalogue: nothing listed, status 5, the reason.
for part in "sector 0:0" "system descriptor:$((SYSTEM * 512))" "system allocation table:$systable" \
  "system root directory:$rootdir"; do
  area=${part%%:*}
  at=${part#*:}
  attach "$at" 512
  run list "$dev" --json
  check "$area: status 5" test "$status" -eq 5
  check "$area: nothing listed" python3 -c '
import json, sys
assert json.load(open(sys.argv[1]))["recordings"] == []' "$WORK/out"
  check "$area: stderr says the catalogue could not be read" stderr_says \
    "The catalogue could not be read: $area: 512 bytes at byte $at ($(printf '0x%X' "$at")) could not be read (Input/output error)"
  detach
done

# The media descriptor: not recognised, and why.
attach 8192 512
run list "$dev"
check "media descriptor: status 3" test "$status" -eq 3
check "media descriptor: the verdict, then the reason" stderr_says \
  "the media descriptor could not be read at byte 8192 (0x2000): Input/output error"
check "media descriptor: the verdict first" stderr_says "Does not read like a known 9200T drive!"
detach

# Rescue, with bad sectors in three recordings: slot 2's tail, early in slot 3's first cluster
# (its second cluster follows on the disk), and two sectors in slot 6.
read -r data < <(python3 -c '
import json, sys
print([r for r in json.load(open(sys.argv[1]))["recordings"] if r["slot"] == 2][0]["file_offset"])' "$WORK/ref.json")
bad2=$((data + C + 1024)) bad3=$((data + 300 * C + 100352)) bad6=$((data + 4 * C + 8192))
# Slow enough (60 ms a read) that the rescue also saves its maps as it goes, not only at the ends.
slow=60ms attach "$bad2" 512 "$bad6" 1024 "$bad3" 512
rm -rf "$WORK/rescued" && mkdir "$WORK/rescued"
# Traced: every write to a copy, every flush, and every map put in place.
strace -f -y -qq -e trace=write,pwrite64,fsync,fdatasync,rename,renameat,renameat2 \
  -o "$WORK/trace" "$CLI" copy "$dev" --to "$WORK/rescued" --all --rescue --json \
  >"$WORK/out" 2>"$WORK/err"
status=$?
check "rescue: status 1 (three rows have holes)" test "$status" -eq 1
check "rescue: no map is saved while its copy holds bytes not yet flushed to the destination" \
  python3 - "$WORK/trace" <<'PY'
import re, sys
dirty, saves = set(), 0
for line in open(sys.argv[1]):
    m = re.search(r"\b(write|pwrite64|fsync|fdatasync)\(\d+<([^>]*)>", line)
    if m and m.group(2).endswith(".incomplete.ts"):
        (dirty.add if m.group(1) in ("write", "pwrite64") else dirty.discard)(m.group(2))
    m = re.search(r'rename(?:at2?)?\(.*"([^"]*\.incomplete\.ts)\.map"', line)
    if m:
        saves += 1
        assert m.group(1) not in dirty, line
assert saves >= 10, saves  # the start and the end of each pass of the three, and some between
PY
check "rescue: zeros exactly at the bad sectors, maps exactly right, no final name with a hole" \
  python3 - "$WORK/out" "$WORK/ref" "$WORK/rescued" <<PY
import json, os, sys
results = json.load(open(sys.argv[1]))["results"]
ref, rescued = sys.argv[2], sys.argv[3]
holes = {2: ($C + 1024, 512), 3: (100352, 512), 6: (8192, 1024)}
for r in results:
    want = open(os.path.join(ref, r["file"].replace(".incomplete.ts", ".ts")), "rb").read()
    got = open(os.path.join(rescued, r["file"]), "rb").read()
    if r["slot"] not in holes:
        assert r["status"] == "downloaded" and got == want, r
        continue
    at, n = holes[r["slot"]]
    assert r["status"] == "failed" and r["unreadable_bytes"] == n, r
    assert r["file"].endswith(".incomplete.ts") and not os.path.exists(os.path.join(rescued, r["file"][:-14] + ".ts")), r
    assert got == want[:at] + bytes(n) + want[at + n:], r
    lines = [l.split() for l in open(os.path.join(rescued, r["file"] + ".map")) if not l.startswith("#")]
    areas = [(int(p, 0), int(s, 0), st) for p, s, st in lines[1:]]
    expected = [(0, at, "+"), (at, n, "-"), (at + n, len(want) - at - n, "+")]
    assert areas == [a for a in expected if a[1] > 0], (r, areas)
PY
check "rescue: slot 3's second cluster is read before its bad area is tried sector by sector" \
  python3 - "$WORK/requests.log" "$((data + 300 * C))" "$C" <<'PY'
import re, sys
first, C = int(sys.argv[2]), int(sys.argv[3])
reads = [(int(o, 16), int(n, 16)) for o, n in
         re.findall(r"Read id=\d+ offset=(0x[0-9a-f]+) count=(0x[0-9a-f]+)", open(sys.argv[1]).read())]
second = min(i for i, (o, n) in enumerate(reads) if o < first + 2 * C and o + n > first + C)
sectors = min(i for i, (o, n) in enumerate(reads) if n == 512 and first <= o < first + C)
assert second < sectors, (second, sectors)
PY
detach

# The disk reads again: a second rescue retries only the bad areas and finishes every copy.
attach 0 0
run copy "$dev" --to "$WORK/rescued" --all --rescue --json
check "rescue again: the three copies take their final names, exact, maps gone" \
  test -z "$(cd "$WORK/rescued" && ls | grep -v '\.ts$')" -a "$(ls "$WORK/rescued" | wc -l)" -eq 6
for f in "$WORK"/ref/*.ts; do
  check "rescue again: $(basename "$f") exact" cmp -s "$f" "$WORK/rescued/$(basename "$f")"
done
check "rescue again: under 1 MB of recording data read again" python3 - "$WORK/requests.log" "$data" \
  "$((SYSTEM * 512))" <<'PY'
import re, sys
low, high = int(sys.argv[2]), int(sys.argv[3])
reads = re.findall(r"Read id=\d+ offset=(0x[0-9a-f]+) count=(0x[0-9a-f]+)", open(sys.argv[1]).read())
again = sum(int(n, 16) for o, n in reads if low <= int(o, 16) < high)
assert again < 1_000_000, again
PY
detach

check "the image is unchanged" test "$(sha256sum <"$WORK/disk.img")" = "$before"
finish
