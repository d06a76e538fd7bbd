#!/usr/bin/env bash
# Starts the stand-alone application on its own Xvfb display (Mesa's software OpenGL) with an
# empty home folder, captures its panel and checks the pixels; covers the panel with a window of
# its own and with the application's own dialogs and checks that the panel comes back whole; then
# clicks it with xdotool: a head switch, and a window size chosen from the right-click menu, whose
# capture is checked against the artwork scaled.
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

wait_for 30 has_panel || fail "the application's window did not appear"
wait_for 10 panel_is 879x646 || fail "the panel is $(size_of "$(panel_window)"), not 879x646"
sleep 2   # first timer ticks and OpenGL frames

panel=$(panel_window)
read -r px py < <(origin_of "$panel")

capture() { /usr/bin/import -window "$(panel_window)" "$shots/$1"; }

capture panel.png
"$checker" "$shots/panel.png" 0 || fail "the captured panel does not show the artwork"

# With no audio nothing on the panel changes, so nothing redraws the area a window leaves behind
# but the handling of its uncovering. Every pixel must come back, except the rounded corners,
# which the framework blends anew over the last picture on each frame.
unchanged_pixels()
{
    local masked=()
    local file
    for file in "$shots/panel.png" "$shots/$1"; do
        masked+=("$work/masked_$(basename "$file")")
        /usr/bin/convert "$file" -fill black -draw "rectangle 0,0 15,15" -draw "rectangle 863,0 878,15" \
            -draw "rectangle 0,630 15,645" -draw "rectangle 863,630 878,645" "${masked[-1]}"
    done
    [ "$(/usr/bin/compare -metric AE "${masked[0]}" "${masked[1]}" null: 2>&1)" = "0" ]
}

# A window of the test's own, solid magenta, over the middle of the panel.
/usr/bin/convert -size 400x300 xc:'#ff00ff' "$work/cover.png"
for round in 1 2; do
    /usr/bin/display -title spoolwarp-cover -geometry "+$((px + 240))+$((py + 170))" "$work/cover.png" &
    cover_pid=$!
    cover_shown() { xdotool search --onlyvisible --name '^spoolwarp-cover$' >/dev/null 2>&1; }
    wait_for 10 cover_shown || fail "the covering window did not appear"
    sleep 0.5
    capture "covered_$round.png"
    unchanged_pixels "covered_$round.png" && fail "the covering window is not over the panel"
    kill "$cover_pid"
    wait "$cover_pid" 2>/dev/null || true
    sleep 0.5
    capture "uncovered_$round.png"
    unchanged_pixels "uncovered_$round.png" || fail "the panel was not redrawn where a window left it (round $round)"
done

# The application's own dialog over the panel, from the title bar's "Options" menu, closed with Escape.
read -r tx ty < <(origin_of "$(top_window)")
dialog_window() { xdotool search --onlyvisible --name 'Audio/MIDI Settings|state' 2>/dev/null | head -n1 || true; }
dialog_shown() { [ -n "$(dialog_window)" ]; }
dialog_gone() { [ -z "$(dialog_window)" ]; }
for round in 1 2 3; do
    xdotool mousemove $((tx + 30)) $((ty + 12)) click 1
    wait_for 5 menu_open || fail "the Options button opened no menu"
    xdotool key Down
    sleep 0.2
    xdotool key Return
    wait_for 10 dialog_shown || fail "no dialog opened from the Options menu"
    sleep 0.5
    for _ in 1 2 3; do
        xdotool windowfocus --sync "$(dialog_window)" 2>/dev/null || true
        xdotool key Escape
        wait_for 3 dialog_gone && break
    done
    dialog_gone || { /usr/bin/import -window root "$shots/dialog_open_$round.png"; fail "Escape did not close the dialog"; }
    sleep 0.5
    capture "dialog_closed_$round.png"
    unchanged_pixels "dialog_closed_$round.png" || fail "the panel was not redrawn where a dialog closed (round $round)"
done

# A real click on "Head 1" (443, 374, 41 x 56) switches it on: its next frame is frame 1.
xdotool mousemove $((px + 463)) $((py + 402)) click 1
sleep 1
capture panel_head1.png
"$checker" "$shots/panel_head1.png" 1 || fail "clicking Head 1 did not switch it on"

# Right-click on the bare panel opens the menu; "Window size" > "130%" resizes the editor.
top=$(top_window)
top_size_before=$(size_of "$top")
choose_130_percent || fail "the panel is $(size_of "$(panel_window)") after choosing 130% from the right-click menu"

read -r w0 h0 < <(echo "$top_size_before" | tr x ' ')
read -r w1 h1 < <(size_of "$top" | tr x ' ')
[ $((w1 - w0)) -eq $((1142 - 879)) ] && [ $((h1 - h0)) -eq $((839 - 646)) ] \
    || fail "the window went from ${w0}x${h0} to ${w1}x${h1}; the editor should be 1142 x 839"
sleep 1
capture panel_130.png
"$checker" "$shots/panel_130.png" 1 || fail "the panel at 130 % does not show the artwork scaled by 1142 / 879"

echo "panel captures in $shots"
