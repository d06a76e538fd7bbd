#!/usr/bin/env bash
# Starts the stand-alone application on its own Xvfb display (Mesa's software OpenGL) with an
# empty home folder, captures its panel and checks the pixels, then clicks it with xdotool:
# a head switch, and a window size chosen from the right-click menu.
#
#   panel_app_test.sh APPLICATION CHECKER SCREENSHOT_DIR
set -euo pipefail
. "$(dirname "$0")/../../tools/xvfb-session.sh"

app=$1
checker=$2
shots=$3
mkdir -p "$shots"

work=$(mktemp -d)
mkdir -p "$work/home"
app_pid=""
xvfb_pid=""

cleanup()
{
    [ "$BASHPID" = "$$" ] || return 0   # not in command substitutions
    [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null && wait "$app_pid" 2>/dev/null || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

fail()
{
    echo "FAILED: $*" >&2
    [ -f "$work/app.log" ] && tail -n 20 "$work/app.log" >&2
    exit 1
}

start_xvfb "$work" 1600x1200x24 || fail "Xvfb did not start"

HOME="$work/home" "$app" >"$work/app.log" 2>&1 &
app_pid=$!

top_window() { xdotool search --name '^Spoolwarp$' 2>/dev/null | head -n1 || true; }
# The OpenGL-rendered panel is the top-level window's one child window.
panel_window()
{
    local top
    top=$(top_window)
    [ -n "$top" ] || return 0
    xwininfo -children -id "$top" 2>/dev/null | awk '/^ +0x/ { print $1; exit }' || true
}
size_of() { xwininfo -id "$1" 2>/dev/null | awk '/Width:/ { w = $2 } /Height:/ { h = $2 } END { print w "x" h }' || true; }
origin_of() { xwininfo -id "$1" | awk '/Absolute upper-left X:/ { x = $4 } /Absolute upper-left Y:/ { y = $4 } END { print x, y }'; }
menu_open() { xdotool search --name '^menu$' >/dev/null 2>&1; }
panel_is() { [ "$(size_of "$(panel_window)")" = "$1" ]; }
has_panel() { [ -n "$(panel_window)" ]; }

wait_for 30 has_panel || fail "the application's window did not appear"
wait_for 10 panel_is 879x646 || fail "the panel is $(size_of "$(panel_window)"), not 879x646"
sleep 2   # first timer ticks and OpenGL frames

panel=$(panel_window)
read -r px py < <(origin_of "$panel")

capture() { /usr/bin/import -window "$(panel_window)" "$shots/$1"; }

capture panel.png
"$checker" "$shots/panel.png" 0 || fail "the captured panel does not show the artwork"

# A real click on "Head 1" (443, 374, 41 x 56) switches it on: its next frame is frame 1.
xdotool mousemove $((px + 463)) $((py + 402)) click 1
sleep 1
capture panel_head1.png
"$checker" "$shots/panel_head1.png" 1 || fail "clicking Head 1 did not switch it on"

# Right-click on the bare panel opens the menu; "Window size" > "130%" resizes the editor.
top=$(top_window)
top_size_before=$(size_of "$top")
xdotool mousemove $((px + 40)) $((py + 40)) click 3
wait_for 5 menu_open || fail "right-click opened no menu"
xdotool key Down
sleep 0.3
xdotool key Right
sleep 0.5
for _ in 1 2 3 4 5 6; do
    xdotool key Down
    sleep 0.1
done
xdotool key Return
wait_for 5 panel_is 1142x840 || fail "the panel is $(size_of "$(panel_window)") after choosing 130%"

read -r w0 h0 < <(echo "$top_size_before" | tr x ' ')
read -r w1 h1 < <(size_of "$top" | tr x ' ')
[ $((w1 - w0)) -eq $((1142 - 879)) ] && [ $((h1 - h0)) -eq $((839 - 646)) ] \
    || fail "the window went from ${w0}x${h0} to ${w1}x${h1}; the editor should be 1142 x 839"
sleep 1
capture panel_130.png

echo "panel captures in $shots"
