#!/usr/bin/env bash
# skelbrook-cli on a long list, as a script uses it: list --match and --sort, and copy --match
# alone and with --row, on the demo disk; rows keep their catalogue numbers however the list is
# shown, and a copy goes in the catalogue's order.
# Usage: match_test.sh PATH-TO-skelbrook-cli PATH-TO-skelbrook-mkimage
set -u

source "$(dirname "$0")/harness.sh"

"$MKIMAGE" "$WORK/demo.img" --demo >/dev/null || { echo "FAILED: cannot write the demo disk" >&2; exit 1; }
names() { cut -f1 "$WORK/out" | tr '\n' '|'; }

run list "$WORK/demo.img" --match news
check "--match keeps the rows holding the word" \
  test "$(names)" = "002_183007Mar_The Evening News.ts|012_233007Mar_Late News.ts|"
run list "$WORK/demo.img" --match "  LATE abc1  "
check "every word, whatever its case and the blanks" test "$(names)" = "012_233007Mar_Late News.ts|"
run list "$WORK/demo.img" --match "cafe paris" --json
check "accents ignored, the guide text searched, the catalogue's row number kept" python3 -c '
import json, sys
rows = json.load(open(sys.argv[1]))["recordings"]
assert [(r["row"], r["slot"]) for r in rows] == [(3, 5)], rows' "$WORK/out"
run list "$WORK/demo.img" --match "no such words"
check "nothing matching lists nothing and is no failure" test "$status" -eq 0 -a ! -s "$WORK/out"

run list "$WORK/demo.img" --sort name
check "--sort name orders by title" test "$(names)" = \
  "005_200007Mar_Café Society.ts|007_213007Mar_Film_ The Long Road.ts|003_190007Mar_Gardening_ Autumn Pruning.ts|012_233007Mar_Late News.ts|002_183007Mar_The Evening News.ts|"
run list "$WORK/demo.img" --sort size --reverse --json
check "--sort size --reverse, rows numbered as the catalogue has them" python3 -c '
import json, sys
rows = json.load(open(sys.argv[1]))["recordings"]
assert [r["row"] for r in rows] == [4, 3, 1, 2, 5], [r["row"] for r in rows]' "$WORK/out"
run list "$WORK/demo.img" --sort start
check "--sort start" test "$(names | cut -d'|' -f1)" = "002_183007Mar_The Evening News.ts"
run list "$WORK/demo.img" --sort colour
check "an unknown order is a usage error" test "$status" -eq 2
run list "$WORK/demo.img" --reverse
check "--reverse without --sort is a usage error" test "$status" -eq 2
run copy "$WORK/demo.img" --to "$WORK" --match "  "
check "a blank --match is a usage error, not every recording" \
  test "$status" -eq 2 -a -z "$(ls "$WORK"/*.ts 2>/dev/null)"

mkdir "$WORK/all" "$WORK/one" "$WORK/none"
run copy "$WORK/demo.img" --to "$WORK/all" --match news --json
check "copy --match copies the matching rows, in the catalogue's order" python3 -c '
import json, sys
rows = json.load(open(sys.argv[1]))["results"]
assert [(r["row"], r["status"]) for r in rows] == [(1, "downloaded"), (5, "downloaded")], rows' "$WORK/out"
run copy "$WORK/demo.img" --to "$WORK/one" --match news --row 1 --row 3
check "with --row, only the chosen rows that match" test "$(ls "$WORK/one")" = "002_183007Mar_The Evening News.ts"
run copy "$WORK/demo.img" --to "$WORK/none" --match "no such words"
check "nothing matching copies nothing, and says so" \
  test "$status" -eq 0 -a -z "$(ls "$WORK/none")" -a -n "$(grep 'holds every word' "$WORK/err")"
finish
