# Shell functions shared by the scripts that run the application on a private display.
# Source it; it defines:
#   wait_for SECONDS COMMAND...   runs COMMAND until it succeeds, for at most about SECONDS
#   start_xvfb WORKDIR GEOMETRY   starts Xvfb on a free display, sets xvfb_pid and DISPLAY

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
