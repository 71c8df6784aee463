#!/usr/bin/env bash
# Message lines of acquire_kiv without a terminal: time-stamped on a file or a pipe, with the
# journal's priority prefix and no time stamp when standard output is the stream that
# JOURNAL_STREAM names (as systemd connects a service's output to the journal).
set -u
prog="$KIV_BINARY_DIR/acquire_kiv"
work=$(mktemp -d)
station_pid=""
# A station still running (a failed check) is ended and waited for: SIGTERM, SIGKILL after 5 s.
cleanup() {
    if [ -n "$station_pid" ]; then
        kill -TERM "$station_pid" 2>/dev/null
        for _ in $(seq 1 50); do kill -0 "$station_pid" 2>/dev/null || break; sleep 0.1; done
        kill -KILL "$station_pid" 2>/dev/null
        wait "$station_pid" 2>/dev/null
    fi
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; for f in "$work"/out.*; do echo "--- $f"; cat "$f"; done; exit 1; }

# A station whose cameras both ask for parameters at once: the normalisation push then warns
# about the missing parameter files, so the output holds info and warning messages.
make_station() {
    local dir="$work/$1"
    mkdir -p "$dir/a" "$dir/b" "$dir/temp" "$dir/3sec" "$dir/sync" "$dir/log"
    cat > "$dir/acquire_kiv.set" <<SET
cam_a_input_dir    $dir/a
cam_a_control_dir  $dir/a
cam_b_input_dir    $dir/b
cam_b_control_dir  $dir/b
temp_dir           $dir/temp
log_dir            $dir/log
sync_list_dir      $dir/sync
norm_vid_dir       $dir/3sec
3sec_dir           $dir/3sec
SET
    touch "$dir/a/request.sync" "$dir/b/request.sync"
}

# Runs the station in folder $1 until its output $2 holds the acquire.par warning, then ends
# it with SIGTERM and checks the exit status. $3: "journal" to name the output in
# JOURNAL_STREAM, "elsewhere" to name another stream there (as when the service's output is
# redirected), "none" for no variable.
run_station() {
    local dir="$work/$1" out="$2" mode="$3"
    : > "$out"
    : > "$work/other"
    local stream=""
    case "$mode" in
    journal) stream=$(stat -c '%d:%i' "$out") ;;
    elsewhere) stream=$(stat -c '%d:%i' "$work/other") ;;
    esac
    (
        cd "$dir" || exit 1
        if [ -n "$stream" ]; then export JOURNAL_STREAM="$stream"; else unset JOURNAL_STREAM; fi
        exec "$prog" >> "$out" 2>"$out.err"
    ) &
    station_pid=$!
    local pid=$station_pid
    for _ in $(seq 1 100); do
        grep -q "unable to read local acquire.par file" "$out" && break
        sleep 0.1
    done
    grep -q "unable to read local acquire.par file" "$out" || fail "$1: no push warning"
    kill -TERM "$pid"
    wait "$pid"
    local status=$?
    station_pid=""
    [ "$status" -eq 0 ] || fail "$1: exit status $status after SIGTERM"
    [ -s "$out.err" ] && fail "$1: standard error not empty"
    return 0
}

stamp='[0-9]\{4\}-[0-9][0-9]-[0-9][0-9] [0-9][0-9]:[0-9][0-9]:[0-9][0-9] '

make_station journal
run_station journal "$work/out.journal" journal
grep -qx '<6>entering measurement mode' "$work/out.journal" || fail "journal: info line"
grep -qx '<4>warning : unable to read local camera config file' "$work/out.journal" ||
    fail "journal: warning line"
grep -v '^<[0-9]>' "$work/out.journal" && fail "journal: a line without priority"

for mode in none elsewhere; do
    make_station "$mode"
    run_station "$mode" "$work/out.$mode" "$mode"
    grep -qx "${stamp}entering measurement mode" "$work/out.$mode" || fail "$mode: info line"
    grep -qx "${stamp}warning : unable to read local acquire.par file" "$work/out.$mode" ||
        fail "$mode: warning line"
    grep -q '<[0-9]>' "$work/out.$mode" && fail "$mode: priority prefix outside the journal"
done
echo "ok"
