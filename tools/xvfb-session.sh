# Shell functions shared by the scripts that run the application on a private display.
# Source it; it defines:
#   wait_for SECONDS COMMAND...   runs COMMAND until it succeeds, for at most about SECONDS
#   start_xvfb WORKDIR GEOMETRY   starts Xvfb on a free display, sets xvfb_pid and DISPLAY
#   top_window, panel_window      the application's window, and the OpenGL-rendered panel in it
#   size_of WINDOW, origin_of WINDOW, panel_is WIDTHxHEIGHT, has_panel, menu_open
#   choose_130_percent            right-clicks the bare panel and chooses "Window size" > "130%"

wait_for()
{
    local tries=$(( $1 * 10 ))
    shift
    for _ in $(seq "$tries"); do
        "$@" && return 0
        sleep 0.1
    done
    return 1
}

start_xvfb()
{
    local work=$1 geometry=$2
    Xvfb -displayfd 3 -noreset -nolisten tcp -screen 0 "$geometry" 3>"$work/display" 2>"$work/xvfb.log" &
    xvfb_pid=$!
    wait_for 10 test -s "$work/display" || return 1
    export DISPLAY=":$(head -n1 "$work/display")"
}

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
panel_is() { [ "$(size_of "$(panel_window)")" = "$1" ]; }
has_panel() { [ -n "$(panel_window)" ]; }
menu_open() { xdotool search --name '^menu$' >/dev/null 2>&1; }

# The menu opens at the pointer; its keys: down to "Window size", into it, down to "130%".
choose_130_percent()
{
    local px py
    read -r px py < <(origin_of "$(panel_window)")
    xdotool mousemove $((px + 40)) $((py + 40)) click 3
    wait_for 5 menu_open || return 1
    xdotool key Down
    sleep 0.3
    xdotool key Right
    sleep 0.5
    for _ in 1 2 3 4 5 6; do
        xdotool key Down
        sleep 0.1
    done
    xdotool key Return
    wait_for 5 panel_is 1142x840
}
