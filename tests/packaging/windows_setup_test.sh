#!/usr/bin/env bash
# The Windows setup program under Wine, in a Wine prefix made fresh for it: an older version
# installed silently, then this one over it; the installed files, the Start-menu shortcut and the
# entry under "Installed apps" with this version; a desktop shortcut kept over an upgrade; the
# installed command line lists the demo disk as the Linux build does; the installed window,
# started on the display in DISPLAY, keeps its settings in the user's local application data and
# not beside itself; the silent uninstall leaves no installed file, shortcut or key behind and
# keeps the user's settings and a copied recording.
#   windows_setup_test.sh SETUP.exe OLDER_SETUP.exe VERSION LINUX_BIN_DIR WORK_DIR
set -euo pipefail
setup=$1 older=$2 version=$3 lin_bin=$4 work=$5
fail() {
  echo "windows_setup_test: FAILED: $*" >&2
  [[ -s ${work:-}/wine.log ]] && tail -15 "$work/wine.log" >&2
  exit 1
}
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEARCH=win64
# Wine links the user's Videos, Desktop and other folders to the home folder's: a home of the
# test's own keeps the machine's untouched.
export HOME=$work/home
# No menu entries of the desktop for the shortcuts this prefix gets, no Mono or Gecko prompts.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
rm -rf "$WINEPREFIX" "$HOME"
mkdir -p "$work" "$HOME"
wine=${WINE:-/usr/lib/wine/wine64}
export WINELOADER=$wine
WINE=$wine "$(dirname "$0")/../wine_prefix.sh" "$work/wineboot.log" || fail "Wine could not make a prefix"
# One Wine server for the whole test, as one Windows session: Wine otherwise ends its server
# after each program and starts another for the next, and a program started just as the last
# one's server goes has been seen to fail to start or to see an older registry.
wineserver -w
wineserver -p || fail "Wine's server could not be started"
trap 'wineserver -k 2>/dev/null || true' EXIT
# Runs a Windows program and logs its exit status beside what Wine said.
win() {
  local status=0
  timeout 120 "$wine" "$@" </dev/null 2>>"$work/wine.log" || status=$?
  echo "-- exit $status: $*" >>"$work/wine.log"
  return "$status"
}
# A setup program is 32-bit: the 64-bit loader hands it on, so it is started through start.exe,
# which waits for it and gives back its exit status.
run_setup() { win start /wait /unix "$@"; }
wait_until() {  # wait_until SECONDS COMMAND...
  local limit=$1
  shift
  for _ in $(seq $((limit * 5))); do "$@" && return 0; sleep 0.2; done
  return 1
}
# The 64-bit view of the registry, where the setup registers itself (reg.exe may be the 32-bit one).
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Skelbrook'
value() { win reg query "$key" /v "$1" /reg:64 2>/dev/null | tr -d '\r' | awk -v v="$1" '$1 == v {$1 = ""; $2 = ""; sub(/^ +/, ""); print}'; }
drive_c=$WINEPREFIX/drive_c
installed=$drive_c/Program\ Files/Skelbrook
start_menu=$drive_c/ProgramData/Microsoft/Windows/Start\ Menu/Programs
user_home=$(find "$drive_c/users" -mindepth 1 -maxdepth 1 -type d ! -name Public | head -1)
appdata=$user_home/AppData/Local

# An older version, then this one over it, both silently.
run_setup "$older" /S || fail "the older setup failed"
[[ $(value DisplayVersion) != "$version" && -n $(value DisplayVersion) ]] ||
  fail "the older setup did not register itself ($(value DisplayVersion))"
run_setup "$setup" /S || fail "the setup failed"

files=$(cd "$installed" && find . -type f | sort | tr '\n' ' ')
[[ $files == "./LICENSE ./README.md ./skelbrook-cli.exe ./skelbrook-mkimage.exe ./skelbrook.exe ./uninstall.exe " ]] ||
  fail "installed: $files"
[[ -f $start_menu/Skelbrook.lnk ]] || fail "no Start-menu shortcut"
[[ -z $(find "$drive_c/users/Public" -name 'Skelbrook.lnk' 2>/dev/null) ]] ||
  fail "a desktop shortcut was made, which is off unless chosen"
[[ $(value DisplayName) == Skelbrook && $(value DisplayVersion) == "$version" &&
   $(value Publisher) == Skelbrook ]] || fail "the entry says $(value DisplayName) $(value DisplayVersion) by $(value Publisher)"
[[ $(value InstallLocation) == 'C:\Program Files\Skelbrook' &&
   $(value UninstallString) == '"C:\Program Files\Skelbrook\uninstall.exe"' &&
   $(value QuietUninstallString) == '"C:\Program Files\Skelbrook\uninstall.exe" /S' &&
   $(value DisplayIcon) == 'C:\Program Files\Skelbrook\skelbrook.exe,0' ]] ||
  fail "the entry's paths: $(value InstallLocation) | $(value UninstallString) | $(value QuietUninstallString) | $(value DisplayIcon)"
[[ $(value NoModify) == 0x1 && $(value NoRepair) == 0x1 ]] || fail "the entry offers to modify or repair"
size=$(value EstimatedSize)
((size > 1000)) || fail "the entry's size is $size KB"
[[ $(win reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /reg:64 | tr -d '\r' | grep -c 'Uninstall\\Skelbrook') == 1 ]] ||
  fail "more than one entry after installing over the older version"
strings -el "$setup" | grep -qx "$version" || fail "the setup's file properties lack $version"

# A desktop shortcut there before an upgrade (here a stand-in) is there after it, made anew.
desktop=$drive_c/users/Public/Desktop
mkdir -p "$desktop"
: >"$desktop/Skelbrook.lnk"
run_setup "$setup" /S || fail "the setup failed over itself"
[[ $(head -c 4 "$desktop/Skelbrook.lnk" | od -An -tx1 | tr -d ' ') == 4c000000 ]] ||
  fail "the desktop shortcut was not made again on upgrading"

# The installed programs run: the command line says this version and lists the demo disk as the
# Linux build does.
cli='C:\Program Files\Skelbrook\skelbrook-cli.exe'
[[ $(win "$cli" --version | tr -d '\r') == "skelbrook-cli $version" ]] || fail "the installed command line's version"
"$lin_bin/skelbrook-mkimage" --demo "$work/demo.img" >/dev/null
(cd "$work" && win "$cli" list demo.img) >"$work/listed.txt" || fail "the installed command line could not list the demo disk"
"$lin_bin/skelbrook-cli" list "$work/demo.img" >"$work/linux-listed.txt"
cmp -s "$work/listed.txt" "$work/linux-listed.txt" || fail "the installed command line lists otherwise than the Linux build"
mkdir -p "$user_home/Videos"
(cd "$work" && win "$cli" copy demo.img --to "$(winepath -w "$user_home/Videos")" --row 1) >/dev/null ||
  fail "the installed command line could not copy"
recording=$(find -L "$user_home/Videos" -maxdepth 1 -name '*.ts' | head -1)
[[ -n $recording ]] || fail "no copied recording"

# The installed window keeps its settings in the user's local application data.
rm -rf "$appdata/skelbrook"
(cd "$work" && exec "$wine" 'C:\Program Files\Skelbrook\skelbrook.exe' >>"$work/wine.log" 2>&1) &
window_pid=$!
window=$(timeout 60 xdotool search --sync --name '^9200TSkelbrook' | head -1) || fail "the installed window did not open"
wait_until 20 test -s "$appdata/skelbrook/9200T_sk.ini" || true
ended() { ! kill -0 "$window_pid" 2>/dev/null; }
# Alt+F4 as a user closes it, once more should the window manager not have passed it on.
for _ in 1 2 3; do
  xdotool windowactivate --sync "$window" 2>/dev/null || true
  xdotool key alt+F4
  wait_until 10 ended && break
done
ended || fail "the installed window did not end on Alt+F4"
[[ -s $appdata/skelbrook/9200T_sk.ini && -e $appdata/skelbrook/Files9200T.txt ]] ||
  fail "the installed window did not keep its settings in the local application data"
[[ ! -e $installed/9200T_sk.ini && ! -e $installed/Files9200T.txt ]] ||
  fail "the installed window wrote beside itself"
settings=$(sha256sum <"$appdata/skelbrook/9200T_sk.ini")
kept=$(sha256sum <"$recording")

# Uninstalled silently, as "Installed apps" does it: nothing installed is left; the user's are.
# The uninstaller hands over to a copy of itself in the temporary folder and ends; the copy
# removes the entry last.
run_setup "$installed/uninstall.exe" /S || fail "the uninstaller failed"
entry_gone() { ! win reg query "$key" /reg:64 >/dev/null 2>&1; }
wait_until 60 entry_gone || fail "the entry under Installed apps was left"
[[ ! -e $installed ]] || fail "left behind: $(find "$installed" | tr '\n' ' ')"
[[ ! -e $start_menu/Skelbrook.lnk && ! -e $desktop/Skelbrook.lnk ]] || fail "a shortcut was left"
[[ $(sha256sum <"$appdata/skelbrook/9200T_sk.ini") == "$settings" ]] || fail "the user's settings were touched"
[[ $(sha256sum <"$recording") == "$kept" ]] || fail "a copied recording was touched"
echo "windows_setup_test: installed over an older version, registered, run, and uninstalled cleanly"
