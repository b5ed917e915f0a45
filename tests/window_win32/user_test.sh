#!/usr/bin/env bash
# skelbrook.exe as a user meets it, under Wine on the display in DISPLAY (a virtual one with a
# window manager): started as a user starts it, its caption and the words of its buttons read off
# a screenshot, the demo disk read by its path and two recordings ticked and copied with the
# keyboard alone, the copies compared byte for byte with the Linux command line's, and the window
# closed with Alt+F4. A portable copy (a "portable" file beside it) keeps its settings and list
# beside itself; without the marker they go to the user's local application data.
#   user_test.sh WINDOWS_BIN_DIR LINUX_BIN_DIR WORK_DIR [SCREENSHOT_OUT]
set -euo pipefail
win_bin=$1 lin_bin=$2 work=$3 shot_out=${4:-}
caption="9200TSkelbrook 0.89  (oska)"
fail() {
  echo "user_test: FAILED: $*" >&2
  exit 1
}
for tool in xdotool import tesseract python3; do
  command -v "$tool" >/dev/null || fail "$tool is missing"
done
[[ -n ${DISPLAY:-} ]] || fail "no display"

# Starts skelbrook.exe in folder $1 and waits for its window; sets $window (X id) and $pid.
start_window() {
  (cd "$1" && exec "${WINE:-wine}" skelbrook.exe >>"$work/wine-window.log" 2>&1) &
  pid=$!
  window=$(timeout 60 xdotool search --sync --name "^9200TSkelbrook" | head -1) ||
    fail "the window did not open"
  xdotool windowactivate --sync "$window" 2>/dev/null || true
  sleep 1
}
# Alt+F4, as a user closes it; waits for the program to end.
close_window() {
  xdotool windowactivate --sync "$window" 2>/dev/null || true
  xdotool key alt+F4
  for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || return 0; sleep 0.1; done
  fail "the window did not close on Alt+F4"
}
wait_for() {  # wait_for SECONDS COMMAND...
  local limit=$1
  shift
  for _ in $(seq $((limit * 10))); do "$@" && return 0; sleep 0.1; done
  return 1
}

# --- A portable copy, as the zip holds it ----------------------------------------------------
portable=$work/portable
rm -rf "$portable"
mkdir -p "$portable"
cp "$win_bin/skelbrook.exe" "$portable/"
touch "$portable/portable"
"$lin_bin/skelbrook-mkimage" --demo "$portable/demo.img" >/dev/null
start_window "$portable"
[[ $(xdotool getwindowname "$window") == "$caption" ]] ||
  fail "the caption is '$(xdotool getwindowname "$window")'"

# What the screen shows: a screenshot of the window, enlarged, read back as text (twice, prepared
# two ways: grey words on grey buttons read better one way, the rest the other).
import -window "$window" "$work/window.png"
convert "$work/window.png" -resize 300% -colorspace Gray -sharpen 0x1 "$work/window-a.png"
convert "$work/window.png" -filter Lanczos -resize 400% -colorspace Gray -threshold 75% \
  "$work/window-b.png"
for way in a b; do
  tesseract "$work/window-$way.png" "$work/window-$way" --psm 11 >/dev/null 2>&1 ||
    fail "tesseract failed"
done
python3 - "$work/window-a.txt" "$work/window-b.txt" <<'PY' ||
import difflib, sys
seen = " ".join(" ".join(open(f).read().split()) for f in sys.argv[1:])
wanted = ["Read filelist from 9200T", "Copy files to PC", "Exit", "Find disk",
          "Destination folder", "Programme name", "File size", "Status",
          "Rescue unreadable sectors", "Search the whole disk for lost recordings"]
missing = []
for words in wanted:
    n = len(words)
    best = max((difflib.SequenceMatcher(None, words.lower(), seen[i:i + n].lower()).ratio()
                for i in range(max(1, len(seen) - n + 1))), default=0)
    if best < 0.85:
        missing.append(f"{words} ({best:.2f})")
if missing:
    print("not seen: " + "; ".join(missing) + "\nread: " + seen, file=sys.stderr)
    sys.exit(1)
PY
  fail "the screenshot does not show the window's words"
[[ -s $portable/9200T_sk.ini && -e $portable/Files9200T.txt ]] ||
  fail "the portable copy did not keep its settings and list beside itself"

# The drive box has the keyboard: the image's path typed over the "2", Enter reads the list; the
# list then has the keyboard: two rows ticked with Space, Tab to "Copy files to PC", Space.
xdotool key End BackSpace BackSpace
xdotool type --delay 30 demo.img
xdotool key Return
wait_for 60 grep -q "Closing Files9200T.txt" "$portable/Files9200T.txt" || fail "the list was not read"
sleep 0.5
xdotool key Down space Down space Tab Tab space
copied() { [[ $(find "$portable" -name '*.ts' | wc -l) -eq 2 && -z $(find "$portable" -name '*.part') ]]; }
wait_for 60 copied || fail "the two ticked recordings were not copied"
sleep 1
if [[ -n $shot_out ]]; then
  import -frame -window "$window" "$shot_out"  # with its title bar
fi
mkdir -p "$work/linux-copies"
"$lin_bin/skelbrook-cli" copy "$portable/demo.img" --to "$work/linux-copies" --row 1 --row 2 >/dev/null
for copy in "$work/linux-copies"/*.ts; do
  cmp -s "$copy" "$portable/$(basename "$copy")" || fail "$(basename "$copy") differs from the Linux copy"
done
close_window

# --- Without the marker: its files go to the user's local application data -------------------
plain=$work/installed
rm -rf "$plain"
mkdir -p "$plain"
cp "$win_bin/skelbrook.exe" "$plain/"
appdata=$(find "$WINEPREFIX/drive_c/users" -maxdepth 3 -type d -path '*/AppData/Local' | head -1)
[[ -n $appdata ]] || fail "the Wine prefix has no AppData/Local"
rm -rf "$appdata/skelbrook"
start_window "$plain"
close_window
[[ -s $appdata/skelbrook/9200T_sk.ini && -e $appdata/skelbrook/Files9200T.txt ]] ||
  fail "without the marker the settings are not in the local application data"
[[ ! -e $plain/9200T_sk.ini && ! -e $plain/Files9200T.txt ]] ||
  fail "without the marker the window wrote beside itself"
echo "user_test: the window read, ticked and copied by keyboard; copies equal the Linux build's; files where the rules say"
