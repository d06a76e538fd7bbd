#!/usr/bin/env bash
# Runs a command on a private Xvfb display (Mesa's software OpenGL) and stops the server after it.
# Listing tests needs no display, so that runs directly.
set -euo pipefail

case " $* " in
    *" --gtest_list_tests "*) exec "$@" ;;
esac

work=$(mktemp -d)
Xvfb -displayfd 3 -noreset -nolisten tcp -screen 0 1600x1200x24 3>"$work/display" 2>"$work/xvfb.log" &
xvfb=$!
trap 'kill "$xvfb" 2>/dev/null || true; wait "$xvfb" 2>/dev/null || true; rm -rf "$work"' EXIT

for _ in $(seq 200); do
    [ -s "$work/display" ] && break
    kill -0 "$xvfb" 2>/dev/null || { cat "$work/xvfb.log" >&2; exit 1; }
    sleep 0.05
done
export DISPLAY=":$(head -n1 "$work/display")"

# A process that is not a JUCE application has no X error handler; with these two atoms
# interned up front, JUCE's window set-up raises no BadAtom error on a bare server.
xprop -root -f WM_PROTOCOLS 32a -set WM_PROTOCOLS WM_STATE
xprop -root -remove WM_PROTOCOLS

"$@"
