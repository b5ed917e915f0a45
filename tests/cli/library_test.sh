#!/usr/bin/env bash
# What the copies become in a media library: the record's own fields in JSON, file dates from the
# recording's start, guide files (.nfo) beside the copies, the stream check, and media files the
# catalogue lost, listed and copied with and without _RECORD_LIST_.
# Usage: library_test.sh PATH-TO-skelbrook-cli PATH-TO-skelbrook-mkimage
set -u

source "$(dirname "$0")/harness.sh"

py() {  # py PYTHON-ASSERTIONS: runs them with `j` = the JSON on stdout and `w` = the folder
  python3 -c "import json, sys, os; j = json.load(open('$WORK/out', encoding='utf-8')); w = '$WORK'
$1"
}

# Slot 3 is listed (a title with characters XML reserves, Windows-1252 text); slots 5 and 9 have
# media files but the catalogue lost their records. Variants: slot 5 listed, no record list.
design() {  # design FILE RECORD-5 RECORD-LIST
  cat >"$1" <<JSON
{"record_list": $3, "recordings": [
  {"slot": 3, "title": "Tom & Jerry <\"Best\"> caf\u00e9", "channel": "BBC \u00a3",
   "start": 1636140600, "end": 1636142400, "description": "A cat & a mouse \u2013 \u00e9t\u00e9",
   "size": 800000},
  {"slot": 5, "title": "Lost", "channel": "X", "start": 1636150600, "end": 1636152400,
   "size": 500000, "seed": 55, "record": $2},
  {"slot": 9, "title": "Lost too", "size": 400000, "record": false}]}
JSON
}
for v in "lost false true" "listed true true" "nolist false false"; do
  set -- $v
  design "$WORK/$1.json" "$2" "$3"
  "$MKIMAGE" "$WORK/$1.img" --from "$WORK/$1.json" || { echo "FAILED: cannot write $1" >&2; exit 1; }
done

run list "$WORK/lost.img" --json
check "the record's fields in JSON" py '
r, = j["recordings"]
assert (r["title"], r["channel"]) == ("Tom & Jerry <\"Best\"> caf\u00e9", "BBC \u00a3"), r
assert (r["start"], r["end"], r["duration_s"]) == ("2021-11-05T19:30:00Z", "2021-11-05T20:00:00Z", 1800), r
assert r["unlisted"] is False'
run list "$WORK/lost.img" --unlisted --json
check "--unlisted lists the media files no record names" py '
rows = j["recordings"]
assert [(r["slot"], r["file"], r["unlisted"]) for r in rows] == [(3, rows[0]["file"], False), (5, "005_unlisted.ts", True), (9, "009_unlisted.ts", True)], rows
assert (rows[1]["size"], rows[1]["channel"], rows[1]["description"], rows[1]["start"]) == (500000, "", "", None), rows[1]'

mkdir "$WORK/a" "$WORK/b" "$WORK/c"
echo "mine" >"$WORK/a/005_unlisted.nfo"
run copy "$WORK/lost.img" --to "$WORK/a" --all --unlisted --nfo --verify --json
check "copy --unlisted --nfo --verify exits 0" test "$status" -eq 0
check "each copy is a clean stream, dated by its start" py '
for r in j["results"]:
    v = r["verify"]
    assert r["status"] == "downloaded" and r["problems"] == [], r
    assert (v["packets"], v["sync_errors"], v["continuity_errors"]) == (r["bytes"] // 188, 0, 0), r
assert os.stat(w + "/a/" + j["results"][0]["file"]).st_mtime == 1636140600
assert os.path.getsize(w + "/a/005_unlisted.ts") == 500000'
check "the guide file holds the record, escaped" python3 - "$WORK/a" <<'PY'
import sys, glob, xml.etree.ElementTree as ET
nfo, = [f for f in glob.glob(sys.argv[1] + "/*.nfo") if not f.endswith("005_unlisted.nfo")]
m = ET.parse(nfo).getroot()
got = {e.tag: e.text for e in m}
assert m.tag == "movie" and got == {"title": 'Tom & Jerry <"Best"> caf\u00e9',
    "plot": "A cat & a mouse \u2013 \u00e9t\u00e9", "premiered": "2021-11-05", "aired": "2021-11-05",
    "studio": "BBC \u00a3", "runtime": "30"}, got
assert open(sys.argv[1] + "/005_unlisted.nfo").read() == "mine\n"
PY
check "no guide file for a media file without a record" test ! -e "$WORK/a/009_unlisted.nfo"

run copy "$WORK/listed.img" --to "$WORK/b" --slot 5
check "the unlisted copy equals the listed one byte for byte" \
  cmp "$WORK/a/005_unlisted.ts" "$WORK/b/005_221605Nov_Lost.ts"
run copy "$WORK/nolist.img" --to "$WORK/c" --all --unlisted
check "without _RECORD_LIST_, --unlisted copies the media files and exits 4" test "$status" -eq 4
check "... byte for byte" cmp "$WORK/a/009_unlisted.ts" "$WORK/c/009_unlisted.ts"
run list "$WORK/nolist.img" --unlisted
check "... and lists them" test "$(cut -f1 "$WORK/out" | tr '\n' ' ')" = "003_unlisted.ts 005_unlisted.ts 009_unlisted.ts "

# The stream check: a lost sync byte, a file that is not there, no file at all.
cp "$WORK/b/005_221605Nov_Lost.ts" "$WORK/bad.ts"
printf '\x00' | dd of="$WORK/bad.ts" bs=1 seek=$((188 * 10)) conv=notrunc status=none
run verify "$WORK/bad.ts" "$WORK/a/009_unlisted.ts" --json
check "verify finds the lost sync byte and exits 1" test "$status" -eq 1
check "... in that file only" py '
bad, good = j["files"]
assert (bad["sync_errors"], good["sync_errors"], good["continuity_errors"]) == (1, 0, 0), j'
run verify "$WORK/missing.ts"
check "verify of a missing file exits 1" test "$status" -eq 1
run verify
check "verify without files is a usage error" test "$status" -eq 2

finish
