#!/usr/bin/env bash
# skelbrook-cli list, run as a script would run it: on the demo disk and on a described disk,
# in text and JSON, with the exit statuses for a foreign disk, a disk without a record list and
# bad usage; and the disk image is left byte for byte as it was.
# Usage: cli_test.sh PATH-TO-skelbrook-cli PATH-TO-skelbrook-mkimage
set -u

source "$(dirname "$0")/harness.sh"

# Checks JSON on stdout: every field present in every row, then the given Python assertions
# about `rows`.
json_check() {
  python3 - "$WORK/out" "$1" <<'EOF'
import json, sys
rows = json.load(open(sys.argv[1], encoding="utf-8"))["recordings"]
fields = ["row", "slot", "row_text", "file", "channel_time", "size", "size_text", "description"]
for r in rows:
    missing = [f for f in fields if f not in r]
    assert not missing, "row %s lacks %s" % (r.get("row"), missing)
exec(sys.argv[2])
EOF
}

# The demo disk.
"$MKIMAGE" "$WORK/demo.img" --demo || { echo "FAILED: cannot write the demo disk" >&2; exit 1; }
before=$(sha256sum <"$WORK/demo.img")

run list "$WORK/demo.img"
check "list exits 0" test "$status" -eq 0
check "list prints one line per recording" test "$(wc -l <"$WORK/out")" -eq 5
check "list line is name, channel and times, size, tab-separated" \
  grep -qxF "$(printf '002_183007Mar_The Evening News.ts\tABC1 18:30~19:00\t3,149,728 Bytes')" "$WORK/out"

run list "$WORK/demo.img" --json
check "list --json exits 0" test "$status" -eq 0
check "demo rows in JSON" json_check '
assert [r["row"] for r in rows] == [1, 2, 3, 4, 5], rows
assert [r["slot"] for r in rows] == [2, 3, 5, 7, 12]
r = rows[0]
assert r["file"] == "002_183007Mar_The Evening News.ts", r
assert r["row_text"] == r["file"]
assert r["channel_time"] == "ABC1 18:30~19:00", r
assert r["size"] == 3149728 and r["size_text"] == "3,149,728 Bytes", r
assert r["description"].startswith("The day\x27s stories"), r
r = rows[2]
assert r["file"] == "005_200007Mar_Caf\u00e9 Society.ts", r
assert r["description"] == "A drama set in a Paris caf\u00e9 in the 1920s. (Rpt)", r
assert rows[4]["description"] == "No EPG data found.", rows[4]
'
check "the disk image is unchanged by listing" test "$(sha256sum <"$WORK/demo.img")" = "$before"

# A described disk: a record that is not listed, a repeated name, a title prefix, an empty size.
cat >"$WORK/design.json" <<'EOF'
{
  "recordings": [
    {"slot": 9, "title": "Twice", "channel": "SBS", "start": 1736105400, "end": 1736107200,
     "size": 1000, "description": "Caf\u00e9 \u20ac"},
    {"slot": 0, "title": "Hidden", "media_file": false},
    {"slot": 9, "title": "Twice", "channel": "SBS", "start": 1736105400, "end": 1736107200,
     "size": 1000},
    {"slot": 4, "title": "What? Now.", "title_prefix": true, "channel": "ABC2", "start": 0,
     "end": 60, "media_file": false}
  ]
}
EOF
"$MKIMAGE" "$WORK/design.img" --from "$WORK/design.json" || { echo "FAILED: cannot write design.img" >&2; exit 1; }
run list "$WORK/design.img" --json
check "described disk lists" test "$status" -eq 0
check "described rows in JSON" json_check '
assert [(r["row"], r["slot"]) for r in rows] == [(1, 9), (2, 9), (3, 4)], rows
assert rows[0]["row_text"] == "009_193005Jan_Twice.ts"
assert rows[1]["row_text"] == "009_193005Jan_Twice.ts1", rows[1]
assert rows[1]["file"] == "009_193005Jan_Twice.ts", rows[1]
assert rows[0]["channel_time"] == "SBS 19:30~20:00"
assert rows[0]["description"] == "Caf\u00e9 \u20ac", rows[0]
assert rows[2]["file"] == "004_000001Jan_What_ Now_.ts", rows[2]
assert rows[2]["channel_time"] == "ABC2 00:00~00:01"
assert rows[2]["size"] == 0 and rows[2]["size_text"] == " Bytes", rows[2]
'

# Not a 9200T disk: a megabyte of zeros, and a path that does not exist.
head -c 1048576 /dev/zero >"$WORK/zeros.img"
for foreign in "$WORK/zeros.img" "$WORK/missing.img"; do
  run list "$foreign"
  check "foreign disk $foreign exits 3" test "$status" -eq 3
  check "foreign disk $foreign is reported" grep -qF "Does not read like a known 9200T drive!" "$WORK/err"
  check "foreign disk $foreign prints no rows" test ! -s "$WORK/out"
done

# A disk the user has no rights to read: the reason says what to do about it.
if [[ $(id -u) -eq 0 ]] && command -v setpriv >/dev/null; then
  cp "$WORK/demo.img" "$WORK/private.img" && chmod 600 "$WORK/private.img" && chmod 755 "$WORK"
  setpriv --reuid=nobody --regid=nogroup --clear-groups "$CLI" list "$WORK/private.img" \
    >"$WORK/out" 2>"$WORK/err"
  check "a disk without the rights to read it says how to get them" \
    grep -qF "Permission denied (reading a whole disk needs the rights to it: membership of the disk group, or running as root)" "$WORK/err"
fi

# A 9200T disk without _RECORD_LIST_.
echo '{"record_list": false, "recordings": [{"slot": 2, "title": "x", "size": 10}]}' >"$WORK/nolist.json"
"$MKIMAGE" "$WORK/nolist.img" --from "$WORK/nolist.json" || { echo "FAILED: cannot write nolist.img" >&2; exit 1; }
run list "$WORK/nolist.img" --json
check "disk without a record list exits 4" test "$status" -eq 4
check "missing record list is reported" grep -qF "_RECORD_LIST_" "$WORK/err"

# Usage.
for usage in "" "list" "list $WORK/demo.img --bogus" "frobnicate $WORK/demo.img"; do
  # shellcheck disable=SC2086
  run $usage
  check "usage error '$usage' exits 2" test "$status" -eq 2
done
run --help
check "--help exits 0" test "$status" -eq 0
check "--help names the list command" grep -q "list" "$WORK/out"
run --version
check "--version exits 0" test "$status" -eq 0
check "--version prints a version" grep -qE "[0-9]+\.[0-9]+" "$WORK/out"

finish
