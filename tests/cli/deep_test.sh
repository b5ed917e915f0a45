#!/usr/bin/env bash
# skelbrook-cli list/copy --deep: the recordings the catalogue lost are listed after the others
# and copied exactly; without --deep nothing changes; a disk without a record list still lists
# them; Ctrl-C stops the search; the disk image is never written.
# Usage: deep_test.sh PATH-TO-skelbrook-cli PATH-TO-skelbrook-mkimage
set -u

source "$(dirname "$0")/harness.sh"

# Python assertions about the JSON on stdout, with `rows` its recordings.
json_check() {
  python3 -c '
import json, sys
rows = json.load(open(sys.argv[1], encoding="utf-8"))["recordings"]
exec(sys.argv[2])' "$WORK/out" "$1"
}

# One recording the catalogue lists, one deleted (clusters marked free, stored out of order, with
# a time and an event), one whose chain is still in the allocation table (junk after its end).
# The "same" disk with all three listed gives the bytes each found copy must have.
design() {  # design LISTED(true/false) RECORD_LIST(true/false)
  cat <<EOF
{"record_list": $2, "recordings": [
  {"slot": 2, "title": "Kept", "channel": "ONE", "start": 1736105400, "end": 1736107200,
   "size": 600000, "seed": 5},
  {"slot": 3, "title": "Deleted", "size": 1099800, "clusters": [40, 41, 38],
   "stream": {"video_pid": 512, "first_pcr": 90000, "time": 1736109000, "event": "Quiz: Night"},
   "media_file": $1, "record": $1, "in_table": $1},
  {"slot": 4, "title": "Orphan", "size": 376000, "clusters": [30],
   "stream": {"video_pid": 768}, "tail": {"kind": "junk"}, "media_file": $1, "record": $1}
]}
EOF
}
make_image() {  # make_image NAME LISTED RECORD_LIST
  design "$2" "$3" >"$WORK/$1.json"
  "$MKIMAGE" "$WORK/$1.img" --from "$WORK/$1.json" || { echo "FAILED: cannot write $1.img" >&2; exit 1; }
}
make_image lost false true
make_image listed true true
make_image nolist false false
before=$(sha256sum <"$WORK/lost.img")

run list "$WORK/lost.img" --json
check "without --deep only the listed recording" json_check 'assert len(rows) == 1, rows'

run list "$WORK/lost.img" --deep --json
check "list --deep exits 0" test "$status" -eq 0
check "found rows in JSON" json_check '
assert [r.get("found", False) for r in rows] == [False, True, True], rows
o, d = rows[1], rows[2]
assert (o["row"], o["file"], o["how"]) == (2, "found_001.ts", "orphan chain"), o
assert (o["size"], o["clusters"], o["start"], o["title"], o["slot"]) == (376000, 1, None, "", None), o
assert (d["row"], d["how"], d["size"], d["clusters"]) == (3, "content", 1099800, 3), d
assert d["file"] == "found_002_20250105-2030_Quiz_ Night.ts", d
assert (d["start"], d["title"]) == ("2025-01-05T20:30:00Z", "Quiz: Night"), d
assert abs(d["duration_s"] - 5850 / 2000) < 0.05, d
assert o["first_byte"] < d["first_byte"], (o, d)
'
run list "$WORK/lost.img" --deep
check "found rows in the text list" grep -qxF "$(printf 'found_001.ts\t\t376,000 Bytes')" "$WORK/out"

# Each found copy is the recording's bytes, as a copy of the same recording when listed.
mkdir "$WORK/found" "$WORK/listed"
run copy "$WORK/lost.img" --deep --all --verify --nfo --to "$WORK/found"
check "copy --deep exits 0" test "$status" -eq 0
run copy "$WORK/listed.img" --all --to "$WORK/listed"
check "the listed disk copies" test "$status" -eq 0
check "the orphan chain's copy is exact" \
  cmp -s "$WORK/found/found_001.ts" "$WORK/listed/004_000001Jan_Orphan.ts"
check "the deleted recording's copy is exact" \
  cmp -s "$WORK/found/found_002_20250105-2030_Quiz_ Night.ts" "$WORK/listed/003_000001Jan_Deleted.ts"
check "a found recording with a title gets its guide file, one without none" \
  test -s "$WORK/found/found_002_20250105-2030_Quiz_ Night.nfo" -a ! -e "$WORK/found/found_001.nfo"
run copy "$WORK/lost.img" --deep --row 2 --json --to "$WORK/found"
check "a found row is refused over its existing copy, and has no slot" python3 -c '
import json, sys
r = json.load(open(sys.argv[1]))["results"][0]
assert r["slot"] is None and r["status"] == "failed" and "do not exist" in r["reason"], r' "$WORK/out"

# Without a record list the found rows are still listed, with the exit status for that disk.
run list "$WORK/nolist.img" --deep --json
check "a disk without a record list exits 4 with --deep too" test "$status" -eq 4
check "and its lost recordings are listed" json_check 'assert [r["file"][:9] for r in rows] == ["found_001", "found_002"], rows'

# Ctrl-C during the search of a large disk stops it at once, exit status 130.
echo '{"media_fat_entries": 180000, "image_size": 69400000000, "recordings": [{"slot": 2, "size": 10}]}' >"$WORK/large.json"
"$MKIMAGE" "$WORK/large.img" --from "$WORK/large.json" || { echo "FAILED: cannot write large.img" >&2; exit 1; }
"$CLI" list "$WORK/large.img" --deep >"$WORK/out" 2>"$WORK/err" &
pid=$!
sleep 1
kill -INT "$pid"
wait "$pid"
status=$?
check "Ctrl-C stops the search with exit status 130" test "$status" -eq 130
check "and says so" grep -qi "stopped" "$WORK/err"

check "the disk image is unchanged" test "$(sha256sum <"$WORK/lost.img")" = "$before"
finish
