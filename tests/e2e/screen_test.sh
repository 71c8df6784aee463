#!/usr/bin/env bash
# acquire_kiv --stop draws the status screen in a terminal and exits 0; without a terminal it
# writes no terminal control bytes at all.
set -u
prog="$KIV_BINARY_DIR/acquire_kiv"
work=$(mktemp -d)
sock="kivscreen$$"
cleanup() { tmux -L "$sock" kill-server 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT
fail() { echo "FAIL: $*"; [ -f "$work/pane" ] && cat "$work/pane"; exit 1; }

# In a terminal: keep the drawn screen after the program ended (no alternate screen), and
# the pane open so that the exit status can be read.
echo "set -g alternate-screen off" > "$work/tmux.conf"
tmux -L "$sock" -f "$work/tmux.conf" new-session -d -x 100 -y 30 \
    "cd '$work' && TERM=xterm '$prog' --stop </dev/null; echo \"exit=\$?\" > '$work/status'; sleep 30"
for _ in $(seq 1 100); do
    [ -f "$work/status" ] && break
    sleep 0.1
done
[ -f "$work/status" ] || fail "acquire_kiv --stop did not end"
grep -qx "exit=0" "$work/status" || fail "exit status $(cat "$work/status")"
tmux -L "$sock" capture-pane -p > "$work/pane"
line() { sed -n "$(($1 + 1))p" "$work/pane"; }
line 2 | grep -q "acquire_kiv" || fail "banner not on row 2"
line 4 | grep -q "^ syncId : ---- :: at : ---------- :: resync at : ---------- :: reboot : ---" || fail "sync placeholder"
line 5 | grep -q "^ now    : [0-9]\{11\} / " || fail "now line"
line 7 | grep -q "^ A      : ------ frames :: ---------- :: file : -" || fail "camera A placeholder"
line 8 | grep -q "^ B      : ------ frames :: ---------- :: file : -" || fail "camera B placeholder"
line 9 | grep -q "^ out -> : ---- datafiles written" || fail "output placeholder"
line 11 | grep -q "^ No log messages" || fail "'No log messages' not on row 11"

# Without a terminal, even with TERM set: plain output, no escape bytes.
(cd "$work" && TERM=xterm "$prog" --stop > "$work/out" 2>&1) || fail "--stop without terminal failed"
(cd "$work" && env -i "$prog" --reboot >> "$work/out" 2>&1) || fail "--reboot without TERM failed"
if LC_ALL=C grep -q "$(printf '\033')" "$work/out"; then fail "escape bytes written to a file"; fi

# Ctrl-C in measurement mode: the program ends between two steps and gives the terminal back
# (echo on again), with no ".part" file of its own left behind.
rm -f "$work/status"
tmux -L "$sock" kill-server 2>/dev/null
# A server of its own: the first one may still be going down.
sock="${sock}b"
tmux -L "$sock" -f "$work/tmux.conf" new-session -d -x 100 -y 30 \
    "cd '$work' && TERM=xterm '$prog' </dev/tty; echo \"exit=\$?\" > '$work/status'; stty -a > '$work/stty'; sleep 30"
for _ in $(seq 1 300); do
    tmux -L "$sock" capture-pane -p | grep -q "syncId :" && break
    sleep 0.1
done
tmux -L "$sock" capture-pane -p | grep -q "syncId :" || fail "no status screen in measurement mode"
sleep 1
tmux -L "$sock" send-keys C-c
for _ in $(seq 1 300); do
    [ -f "$work/stty" ] && break
    sleep 0.1
done
[ -f "$work/status" ] || fail "acquire_kiv did not end on Ctrl-C"
grep -qx "exit=0" "$work/status" || fail "exit status after Ctrl-C: $(cat "$work/status")"
grep -qw -- "-echo" "$work/stty" && fail "terminal left without echo"
ls "$work"/*.part >/dev/null 2>&1 && fail ".part files left: $(ls "$work"/*.part)"
echo "ok"
