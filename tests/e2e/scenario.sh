#!/usr/bin/env bash
# The whole program as a person uses it: on a virtual X display, with real input events,
# open a picture through the real dialog, paint, erase, save, close, reopen, and look; then
# start with a picture on the command line, paint, and close with unsaved strokes; then
# start with a folder, paint, and move to the next picture; there, dabs of two sizes by
# keys and a lasso.
#
#   scenario.sh VELMORA PROBE ARTEFACT-DIR FAKEBIN-DIR
set -euo pipefail

velmora=$1
probe=$2
artefacts=$3
fakebin=$4
mkdir -p "$artefacts"

work=$(mktemp -d)
pics="$work/pics"
mkdir -p "$pics" "$work/home" "$work/config"
xvfb_pid=""
app_pid=""

cleanup() {
    [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*" >&2
    "$probe" shot "$artefacts/e2e-failure.png" 2>/dev/null || true
    exit 1
}
step() { echo "-- $*"; }

# The program must not touch anybody's settings, reach a session bus, let a desktop theme
# replace its dialog, or start a real file browser.
export HOME="$work/home"
export XDG_CONFIG_HOME="$work/config"
export DBUS_SESSION_BUS_ADDRESS="unix:path=$work/no-bus"
export QT_QPA_PLATFORMTHEME=
export QT_QPA_PLATFORM=xcb
export PATH="$fakebin:$PATH"
export VELMORA_BROWSER_LOG="$work/browser.log"
unset XDG_CURRENT_DESKTOP DESKTOP_SESSION
# The boxes are found by their Chinese titles, whatever the machine's locale: xdotool reads
# window titles through the locale, which must be one that exists and speaks UTF-8.
export LC_ALL=C.UTF-8
mkdir -p "$XDG_CONFIG_HOME/Ostrenza"
printf '[General]\nLanguage=zh\n' >"$XDG_CONFIG_HOME/Ostrenza/Velmora.conf"

step "start a virtual display"
Xvfb -displayfd 6 -screen 0 1400x1000x24 -nolisten tcp 6>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 100); do
    [ -s "$work/display" ] && break
    sleep 0.1
done
[ -s "$work/display" ] || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
export DISPLAY=":$(head -n1 "$work/display")"

# Waits for a window whose name matches, prints its id.
window() {
    timeout 20 xdotool search --sync --onlyvisible --name "$1" 2>/dev/null | head -n1
}

# Waits until the probe's check succeeds on a fresh screenshot.
until_screen() {
    local what=$1
    shift
    for _ in $(seq 100); do
        "$probe" shot "$work/screen.png" && "$@" && return 0
        sleep 0.2
    done
    fail "$what"
}

frame_found() {
    read -r fx fy fw fh < <("$probe" frame "$work/screen.png" 2>/dev/null) || return 1
    [ "${fw:-0}" -ge 600 ]
}

start_editor() {
    "$velmora" "$@" >"$work/velmora.log" 2>&1 &
    app_pid=$!
    main=$(window 'QtVelmora v2\.0$')
    [ -n "$main" ] || fail "the main window did not appear"
    xdotool windowfocus --sync "$main" 2>/dev/null || xdotool windowfocus "$main"
}

open_picture() {
    xdotool key --clearmodifiers ctrl+o
    dialog=$(window '选择图片')
    [ -n "$dialog" ] || fail "the open dialog did not appear"
    sleep 0.3
    xdotool type --delay 10 "$1"
    xdotool key Return
    until_screen "the picture was not shown" frame_found
}

answer_box() { # title [key]
    local id
    id=$(window "$1")
    [ -n "$id" ] || fail "no \"$1\" box"
    sleep 0.2
    xdotool key "${2:-Return}"
    for _ in $(seq 50); do
        xdotool search --onlyvisible --name "$1" >/dev/null 2>&1 || return 0
        sleep 0.1
    done
    fail "the \"$1\" box stayed open"
}

# Waits for the program to end after `what`, and wants exit code 0.
expect_clean_exit() {
    local code=0
    for _ in $(seq 100); do
        kill -0 "$app_pid" 2>/dev/null || break
        sleep 0.1
    done
    kill -0 "$app_pid" 2>/dev/null && fail "the program did not end after $1"
    wait "$app_pid" || code=$?
    app_pid=""
    [ "$code" = 0 ] || fail "exit code $code after $1"
}

drag() { # button x0 y0 x1 y1, in steps
    xdotool mousemove "$2" "$3"
    xdotool mousedown "$1"
    local n=12
    for i in $(seq 1 $n); do
        xdotool mousemove $(($2 + ($4 - $2) * i / n)) $(($3 + ($5 - $3) * i / n))
        sleep 0.02
    done
    xdotool mouseup "$1"
}

picture="$pics/cat.left.png"
"$probe" picture "$picture" 640 480 || fail "could not make the test picture"

step "open $picture through the dialog"
start_editor
open_picture "$picture"
"$probe" shot "$artefacts/e2e-opened.png"
# The frame is drawn just outside the picture's pixels.
px=$((fx + 1))
py=$((fy + 1))
echo "   picture shown at $px,$py (${fw}x${fh} frame)"

step "Doodle by right click, paint a stroke"
xdotool mousemove $((px + 320)) $((py + 100))
xdotool click 3
sleep 0.2
drag 1 $((px + 100)) $((py + 240)) $((px + 540)) $((py + 240))

step "Eraser by right double-click, erase across the stroke"
xdotool mousemove $((px + 320)) $((py + 100))
xdotool click --repeat 2 --delay 80 3
sleep 0.2
drag 1 $((px + 320)) $((py + 170)) $((px + 320)) $((py + 310))
"$probe" shot "$artefacts/e2e-painted.png"

step "save with Ctrl+S"
xdotool key --clearmodifiers ctrl+s
answer_box '确认保存'
answer_box '成功'
mask="$pics/cat.left_mask.png"
[ -f "$mask" ] || fail "no $mask"
[ ! -e "$pics/cat_mask.png" ] || fail "cat_mask.png was written"
read -r mw mh _ < <("$probe" info "$mask")
[ "$mw $mh" = "640 480" ] || fail "mask is ${mw}x${mh}"
[ "$("$probe" values "$mask")" = "0 255 " ] || fail "mask values: $("$probe" values "$mask")"
value() { "$probe" pixel "$mask" "$1" "$2" | cut -d' ' -f1; }
[ "$(value 150 240)" = 255 ] || fail "stroke start not in the mask"
[ "$(value 500 240)" = 255 ] || fail "stroke end not in the mask"
[ "$(value 320 240)" = 0 ] || fail "erased part still in the mask"
[ "$(value 50 50)" = 0 ] || fail "a far pixel is in the mask"
[ "$(value 150 275)" = 0 ] || fail "the stroke is too wide"
for _ in $(seq 50); do
    [ -s "$VELMORA_BROWSER_LOG" ] && break
    sleep 0.1
done
grep -qF "[$pics]" "$VELMORA_BROWSER_LOG" 2>/dev/null || fail "the file browser was not asked to show $pics"

step "close the window as a window manager would"
"$probe" close "$main"
expect_clean_exit "the close request"

step "start again, reopen the picture, see the mask"
start_editor
open_picture "$picture"
px=$((fx + 1))
py=$((fy + 1))
sleep 0.3
"$probe" shot "$artefacts/e2e-reopened.png"
"$probe" shot "$artefacts/e2e-window.png" "$main"
red() { "$probe" count-red "$artefacts/e2e-reopened.png" "$@"; }
[ "$(red $((px + 130)) $((py + 235)) 40 10)" -ge 300 ] || fail "no red mask at the stroke"
[ "$(red $((px + 310)) $((py + 235)) 20 10)" -le 10 ] || fail "red where the stroke was erased"
[ "$(red $((px + 40)) $((py + 40)) 40 40)" = 0 ] || fail "red far from the stroke"

"$probe" close "$main"
wait "$app_pid" || fail "second run ended badly"
app_pid=""

step "start with a picture on the command line (a relative path), paint"
"$probe" picture "$pics/dog.png" 640 480 || fail "could not make the second picture"
cd "$pics"
start_editor dog.png
cd - >/dev/null
until_screen "the picture from the command line was not shown" frame_found
px=$((fx + 1))
py=$((fy + 1))
xdotool search --sync --onlyvisible --name '^dog\.png - QtVelmora v2\.0$' >/dev/null ||
    fail "the title does not name the picture"
xdotool mousemove $((px + 320)) $((py + 100))
xdotool click 3
sleep 0.2
drag 1 $((px + 100)) $((py + 100)) $((px + 540)) $((py + 100))
xdotool search --sync --onlyvisible --name '^dog\.png\* - QtVelmora v2\.0$' >/dev/null ||
    fail "the title does not show the unsaved strokes"

step "close with unsaved strokes: 取消 keeps the window"
"$probe" close "$main"
answer_box '保存更改' Escape
sleep 0.5
kill -0 "$app_pid" 2>/dev/null || fail "the program ended although the question was cancelled"
xdotool search --onlyvisible --name '^dog\.png\* - QtVelmora v2\.0$' >/dev/null ||
    fail "the window is gone after 取消"
[ ! -e "$pics/dog_mask.png" ] || fail "取消 wrote a mask"

step "close again: 保存 writes the mask and ends the program"
"$probe" close "$main"
answer_box '保存更改' Return
expect_clean_exit "保存"
mask="$pics/dog_mask.png"
[ -f "$mask" ] || fail "保存 wrote no $mask"
[ "$(value 320 100)" = 255 ] || fail "the stroke is not in the saved mask"
[ "$(value 320 300)" = 0 ] || fail "a far pixel is in the saved mask"

step "start with a folder on the command line, paint, press D, answer 保存"
album="$work/album"
mkdir -p "$album"
for n in 1 2 3; do "$probe" picture "$album/a$n.png" 640 480 || fail "could not make a$n.png"; done
start_editor "$album"
until_screen "the folder's first picture was not shown" frame_found
px=$((fx + 1))
py=$((fy + 1))
xdotool search --sync --onlyvisible --name '^a1\.png - QtVelmora v2\.0$' >/dev/null ||
    fail "the folder did not open its first picture"
marks() { # the panel's marks of pictures with a mask, by their colour
    "$probe" shot "$work/screen.png" && "$probe" count-colour "$work/screen.png" 2ea043
}
[ "$(marks)" = 0 ] || fail "a picture is marked done before any mask was saved"
xdotool mousemove $((px + 320)) $((py + 100))
xdotool click 3
sleep 0.2
drag 1 $((px + 100)) $((py + 200)) $((px + 540)) $((py + 200))
xdotool key d
answer_box '保存更改' Return
xdotool search --sync --onlyvisible --name '^a2\.png - QtVelmora v2\.0$' >/dev/null ||
    fail "D did not show the next picture"
mask="$album/a1_mask.png"
[ -f "$mask" ] || fail "保存 wrote no $mask"
[ "$(value 320 200)" = 255 ] || fail "the stroke is not in a1's mask"
sleep 0.3
done_marks=$(marks)
[ "$done_marks" -ge 20 ] && [ "$done_marks" -le 200 ] ||
    fail "the list does not mark exactly one picture done ($done_marks pixels)"
"$probe" shot "$artefacts/e2e-folder.png"

step "V then B, a click, ] three times, another click, a Shift lasso, save"
xdotool key v # in Move a click paints nothing: the dab below shows that B switched
xdotool key b
xdotool mousemove $((px + 100)) $((py + 100))
xdotool click 1
for _ in 1 2 3; do xdotool key bracketright; done
xdotool mousemove $((px + 300)) $((py + 100))
xdotool click 1
xdotool mousemove $((px + 100)) $((py + 250))
xdotool keydown shift
xdotool mousedown 1
for corner in "300 250" "300 400" "100 400" "100 260"; do
    set -- $corner
    xdotool mousemove $((px + $1)) $((py + $2))
    sleep 0.05
done
xdotool mouseup 1
xdotool keyup shift
sleep 0.2
"$probe" shot "$artefacts/e2e-tools.png"
xdotool key --clearmodifiers ctrl+s
answer_box '确认保存'
answer_box '成功'
mask="$album/a2_mask.png"
[ -f "$mask" ] || fail "no $mask"
run() { "$probe" run "$mask" "$1" "$2"; }
small=$(run 100 100)
large=$(run 300 100)
[ "$small" -ge 19 ] && [ "$small" -le 22 ] || fail "the first dab is $small wide, not 20"
[ "$large" -ge 34 ] && [ "$large" -le 37 ] || fail "the second dab is $large wide, not 35"
[ "$(value 200 325)" = 255 ] || fail "the lasso's inside is not in the mask"
[ "$(run 200 325)" -ge 198 ] && [ "$(run 200 325)" -le 203 ] || fail "the lasso is not 200 wide"
[ "$(value 200 200)" = 0 ] || fail "above the lasso is in the mask"
[ "$(value 50 325)" = 0 ] || fail "left of the lasso is in the mask"
"$probe" close "$main"
wait "$app_pid" || fail "the folder run ended badly"
app_pid=""
echo "e2e scenario: 1 passed, 0 failed"
