#!/usr/bin/env bash
# Measures the CPU use of the running stand-alone application, with its panel open, on a private
# Xvfb display (Mesa's software OpenGL) and with an empty home folder:
#   (a) idle: no audio device (no JACK server), so the tape stands still;
#   (b) audio: JACK's dummy back end at 48000 Hz, 512-frame periods, input unmuted, a metronome
#       playing into both inputs, so the engine runs and the tape, rollers and lamp animate.
# Each is measured with the panel at 100 %, then at 130 % (chosen from the right-click menu).
# Each figure is the process's utime + stime over the measuring time, in % of one core, followed by
# the share of each of its threads.
#
#   tools/measure-cpu.sh [APPLICATION]     (MEASURE_SECONDS, default 20, sets the measuring time)
#
# Without an argument it measures the Release build in build/, building it first when it is missing.
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/xvfb-session.sh

app=${1:-build/Spoolwarp_artefacts/Release/Standalone/Spoolwarp}
seconds=${MEASURE_SECONDS:-20}
settle=3

if [ $# -eq 0 ] && [ ! -x "$app" ]; then
    export CCACHE_SLOPPINESS=time_macros
    cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build build --parallel "$(nproc)" --target Spoolwarp_Standalone >/dev/null
fi

[ -x "$app" ] || { echo "no application at $app" >&2; exit 1; }
app=$(realpath "$app")

work=$(mktemp -d)
app_pid=""
xvfb_pid=""
jackd_pid=""
metro_pid=""

stop()
{
    local pid=$1
    [ -n "$pid" ] || return 0
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
}

cleanup()
{
    [ "$BASHPID" = "$$" ] || return 0   # not in command substitutions
    stop "$app_pid"
    stop "$metro_pid"
    stop "$jackd_pid"
    stop "$xvfb_pid"
    rm -rf "$work"
}
trap cleanup EXIT

fail()
{
    echo "FAILED: $*" >&2
    for log in "$work"/*.log; do
        [ -s "$log" ] && { echo "--- $(basename "$log")" >&2; tail -n 15 "$log" >&2; }
    done
    exit 1
}

# A private display and a private JACK server name, so that nothing else on the machine is touched.
start_xvfb "$work" 1280x1024x24 || fail "Xvfb did not start"
export JACK_DEFAULT_SERVER="spoolwarp-cpu-$$"
export JACK_NO_AUDIO_RESERVATION=1

mkdir -p "$work/home/.config"
cat >"$work/home/.config/Spoolwarp.settings" <<'EOF'
<?xml version="1.0" encoding="UTF-8"?>
<PROPERTIES>
  <VALUE name="audioSetup">
    <DEVICESETUP deviceType="JACK" audioOutputDeviceName="system" audioInputDeviceName="system"
                 audioDeviceRate="48000.0" audioDeviceInChans="11" audioDeviceOutChans="11"/>
  </VALUE>
  <VALUE name="shouldMuteInput" val="0"/>
</PROPERTIES>
EOF

start_app()
{
    HOME="$work/home" "$app" >"$work/app.log" 2>&1 &
    app_pid=$!
    wait_for 30 has_panel || fail "the application's window did not appear"
}

quit_app()
{
    stop "$app_pid"
    app_pid=""
}

# utime + stime in clock ticks: of the process, or of each live thread as "tid ticks name".
process_ticks() { awk '{ sub(/^.*\) /, ""); print $12 + $13 }' "/proc/$1/stat"; }
thread_ticks()
{
    local task
    for task in /proc/"$1"/task/*; do
        local line
        line=$(cat "$task/stat" 2>/dev/null) || continue
        echo "${task##*/} $(echo "${line##*) }" | awk '{ print $12 + $13 }') $(tr ' ' '_' <"$task/comm")"
    done
}
now() { date +%s.%N; }

# Prints the process's share of one core over $seconds seconds, then each thread's share.
measure()
{
    local label=$1 hz t0 t1 p0 p1
    hz=$(getconf CLK_TCK)
    sleep "$settle"
    thread_ticks "$app_pid" >"$work/threads0"
    p0=$(process_ticks "$app_pid"); t0=$(now)
    sleep "$seconds"
    p1=$(process_ticks "$app_pid"); t1=$(now)
    thread_ticks "$app_pid" >"$work/threads1"
    kill -0 "$app_pid" 2>/dev/null || fail "the application quit while being measured"

    awk -v label="$label" -v p0="$p0" -v p1="$p1" -v t0="$t0" -v t1="$t1" -v hz="$hz" '
        BEGIN { printf "%-11s %6.1f %% of one core\n", label, 100 * (p1 - p0) / hz / (t1 - t0) }'

    # Threads alive at both ends, grouped by name (numbered worker threads together), busiest first.
    awk -v t0="$t0" -v t1="$t1" -v hz="$hz" '
        NR == FNR { start[$1] = $2; next }
        ($1 in start) { name = $3; sub(/-[0-9]+$/, "-*", name); use[name] += $2 - start[$1]; count[name]++ }
        END {
            for (name in use)
            {
                if (use[name] <= 0)
                    continue
                several = (count[name] > 1) ? " (x" count[name] ")" : ""
                printf "              %6.1f %%  %s%s\n", 100 * use[name] / hz / (t1 - t0), name, several
            }
        }' "$work/threads0" "$work/threads1" | sort -k1,1 -rn
}

scale_to_130()
{
    choose_130_percent || fail "the panel did not go to 130 %"
    xdotool mousemove 0 0
}

# Measures at 100 %, then at 130 %.
measure_both_scales()
{
    measure "$1 100%"
    scale_to_130
    measure "$1 130%"
}

echo "Spoolwarp CPU use over $seconds s, $(nproc) cores: $(lscpu | sed -n 's/^Model name: *//p')"

# (a) No JACK server: the application opens no device and the tape stands still.
start_app
measure_both_scales "idle"
quit_app

# (b) The dummy back end runs the device; a metronome plays into both inputs.
jackd -r -d dummy -r 48000 -p 512 >"$work/jackd.log" 2>&1 &
jackd_pid=$!
wait_for 10 jack_lsp >/dev/null 2>&1 || fail "the JACK server did not start"

jack_metro -b 120 -n metro >"$work/metro.log" 2>&1 &
metro_pid=$!
app_ports() { jack_lsp 2>/dev/null | grep -q '^Spoolwarp:in_2$' && jack_lsp 2>/dev/null | grep -q '^metro:'; }

start_app
wait_for 15 app_ports || fail "the application's JACK ports did not appear"
metro_port=$(jack_lsp | grep '^metro:' | head -n1)
jack_connect "$metro_port" Spoolwarp:in_1
jack_connect "$metro_port" Spoolwarp:in_2
jack_lsp -c Spoolwarp:out_1 | grep -q 'system:playback' || fail "the application's outputs are not connected"
measure_both_scales "audio"
quit_app
