#!/usr/bin/env bash
# skelbrook-cli copy --rescue, run as a user would run it on a disk image that ends in the middle of
# a recording (a dump of a dying disk that stopped early): without --rescue that row fails and
# leaves no file; with it, the copy is kept as <name>.incomplete.ts with zeros exactly where the
# disk gave nothing, and its mapfile names that range as bad. A second rescue from the whole
# image takes the copy up again and gives it its final name. The other row is copied exactly
# every time, and the image is never changed.
# Usage: rescue_test.sh PATH-TO-skelbrook-cli PATH-TO-skelbrook-mkimage
set -u

source "$(dirname "$0")/harness.sh"

C=385024
cat >"$WORK/design.json" <<EOF
{
  "system_fat_entries": 16,
  "recordings": [
    {"slot": 2, "title": "Whole", "channel": "ABC1", "start": 1736105400, "end": 1736107200,
     "size": $((C + 5000)), "seed": 3},
    {"slot": 3, "title": "Cut short", "channel": "SBS", "start": 1736109000, "end": 1736110800,
     "size": $((2 * C + 20000)), "seed": 4}
  ]
}
EOF
"$MKIMAGE" "$WORK/full.img" --from "$WORK/design.json" || { echo "FAILED: cannot write the image" >&2; exit 1; }

# Where the second recording starts, and the names of both files.
run list "$WORK/full.img" --json
read -r start whole cut < <(python3 -c '
import json, sys
rows = json.load(open(sys.argv[1]))["recordings"]
print(rows[1]["file_offset"], rows[0]["file"], rows[1]["file"])' "$WORK/out")

# The reference copies, from the whole image.
mkdir "$WORK/ref" "$WORK/plain" "$WORK/rescued"
run copy "$WORK/full.img" --to "$WORK/ref" --all
check "the whole image copies cleanly" test "$status" -eq 0

# The dump stops 100,352 bytes into the recording's second cluster.
gap=$((C + 100352))
cp "$WORK/full.img" "$WORK/cut.img"
truncate -s $((start + gap)) "$WORK/cut.img"
before=$(sha256sum <"$WORK/cut.img")

run copy "$WORK/cut.img" --to "$WORK/plain" --all
check "without --rescue the batch reports a failed row" test "$status" -eq 1
check "the whole recording is downloaded" grep -qxF "downloaded $whole $((C + 5000))" "$WORK/out"
check "the cut recording fails with the byte it could not read" \
  grep -qF "failed $cut: cannot read the recorder disk at byte $((start + gap))" "$WORK/out"
check "no file is left for the failed row" test ! -e "$WORK/plain/$cut" -a ! -e "$WORK/plain/$cut.part"
check "the whole recording is copied exactly" cmp -s "$WORK/ref/$whole" "$WORK/plain/$whole"

run copy "$WORK/cut.img" --to "$WORK/rescued" --all --rescue --json
check "with --rescue the row still counts as failed" test "$status" -eq 1
missing=$((2 * C + 20000 - gap))
check "the JSON says how many bytes could not be read" python3 -c '
import json, sys
results = json.load(open(sys.argv[1]))["results"]
assert [r["status"] for r in results] == ["downloaded", "failed"], results
r = results[1]
assert r["unreadable_bytes"] == int(sys.argv[2]), r
assert r["bytes"] == int(sys.argv[3]), r
assert (sys.argv[2] + " bytes could not be read") in r["reason"], r' \
  "$WORK/out" "$missing" $((2 * C + 20000))
incomplete=${cut%.ts}.incomplete.ts
check "nothing with a hole takes the final name" test ! -e "$WORK/rescued/$cut"
check "the rescued file equals the recording up to the gap and is zeros after it" python3 -c '
import sys
ref = open(sys.argv[1], "rb").read()
got = open(sys.argv[2], "rb").read()
gap = int(sys.argv[3])
assert len(got) == len(ref), (len(got), len(ref))
assert got[:gap] == ref[:gap]
assert got[gap:] == bytes(len(ref) - gap)' "$WORK/ref/$cut" "$WORK/rescued/$incomplete" "$gap"
check "the mapfile beside it has the rest as bad, the rest as read" python3 -c '
import sys
lines = [l.split() for l in open(sys.argv[1]) if not l.startswith("#")]
areas = [(int(p, 0), int(s, 0), st) for p, s, st in lines[1:]]
assert areas == [(0, int(sys.argv[2]), "+"), (int(sys.argv[2]), int(sys.argv[3]), "-")], areas' \
  "$WORK/rescued/$incomplete.map" "$gap" "$missing"
check "the whole recording is copied exactly in rescue mode too" cmp -s "$WORK/ref/$whole" "$WORK/rescued/$whole"
check "the image is unchanged" test "$(sha256sum <"$WORK/cut.img")" = "$before"

# A plain copy leaves a rescue's file alone; a rescue from the whole disk finishes it.
run copy "$WORK/full.img" --to "$WORK/rescued" --row 2
check "a copy without --rescue does not touch the rescued file" \
  test "$status" -eq 0 -a -e "$WORK/rescued/$incomplete" -a -e "$WORK/rescued/$incomplete.map"
rm "$WORK/rescued/$cut"
run copy "$WORK/full.img" --to "$WORK/rescued" --row 2 --rescue
check "the second rescue gives the copy its final name" grep -qxF "downloaded $cut $((2 * C + 20000))" "$WORK/out"
check "the finished copy is exact, and its working file and map are gone" \
  test -z "$(cmp "$WORK/ref/$cut" "$WORK/rescued/$cut" 2>&1)" -a ! -e "$WORK/rescued/$incomplete" \
  -a ! -e "$WORK/rescued/$incomplete.map"

finish
