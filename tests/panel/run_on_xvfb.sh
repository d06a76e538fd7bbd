#!/usr/bin/env bash
# Runs a command on a private Xvfb display (Mesa's software OpenGL) and stops the server after it.
# Listing tests needs no display, so that runs directly.
set -euo pipefail
. "$(dirname "$0")/../../tools/xvfb-session.sh"

case " $* " in
    *" --gtest_list_tests "*) exec "$@" ;;
esac

work=$(mktemp -d)
xvfb_pid=""
trap '[ -n "$xvfb_pid" ] && { kill "$xvfb_pid" 2>/dev/null; wait "$xvfb_pid" 2>/dev/null; }; rm -rf "$work"' EXIT
start_xvfb "$work" 1600x1200x24 || { cat "$work/xvfb.log" >&2; exit 1; }

# A process that is not a JUCE application has no X error handler; with these two atoms
# interned up front, JUCE's window set-up raises no BadAtom error on a bare server.
xprop -root -f WM_PROTOCOLS 32a -set WM_PROTOCOLS WM_STATE
xprop -root -remove WM_PROTOCOLS

"$@"
