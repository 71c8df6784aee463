#!/usr/bin/env bash
# The README's two commands answer --help with their own usage and do nothing else: no
# install, no configure, no build (they once printed a line of shell, or built the tree and
# then printed ctest's usage).
set -u
src="$KIV_SOURCE_DIR"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

# Copies in a tree of their own: whatever they would build lands there, and a stand-in for
# install-deps says if it was called.
mkdir -p "$work/scripts"
cp "$src/scripts/demo" "$src/scripts/test" "$work/scripts/"
printf '#!/bin/sh\ntouch "%s/installed"\n' "$work" > "$work/scripts/install-deps"
chmod +x "$work/scripts/"*
for script in demo test; do
    for option in --help -h; do
        out=$("$work/scripts/$script" "$option" 2>&1) || fail "$script $option: status $?"
        echo "$out" | grep -q "^Usage: scripts/$script " || fail "$script $option: no usage: $out"
        echo "$out" | grep -qE '^(#|set )' && fail "$script $option printed the script: $out"
    done
done
[ ! -e "$work/installed" ] || fail "--help ran install-deps"
[ ! -e "$work/build" ] && [ ! -e "$work/demo-station" ] || fail "--help built or made a station"
echo "ok"
