#!/usr/bin/env bash
# The example configuration makes a working station: its four files, with the paths moved
# below a temporary root, are read without a single error line, the parameter files of both
# cameras are compatible, every setting reaches the cameras, and with two simulated cameras
# on the example's camera shares the station writes datafiles, video.dat, the sync list and
# the camera logs into the directories the example names.
set -u
build="$KIV_BINARY_DIR"
examples="$KIV_SOURCE_DIR/packaging/examples"
work=$(mktemp -d)
station_pid=""
sim_pid=""
cleanup() {
    [ -n "$station_pid" ] && kill -TERM "$station_pid" 2>/dev/null
    [ -n "$sim_pid" ] && kill -TERM "$sim_pid" 2>/dev/null
    wait 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*"
    for f in station.out station.err sim.out; do echo "--- $f"; tail -40 "$work/$f" 2>/dev/null; done
    exit 1
}

# The example's absolute paths, each moved below $root.
root="$work/root"
set_file="$work/acquire_kiv.set"
sed -E "s#^([a-z0-9_]+[[:space:]]+)(/[^[:space:]]*)#\1$root\2#" "$examples/acquire_kiv.set" > "$set_file"
value() { awk -v k="$1" '$1 == k { v = $NF } END { print v }' "$set_file"; }
dirs=()
while read -r key val; do
    case "$val" in "$root"/*) dirs+=("$val") ;; esac
done < <(grep -v '^[[:space:]]*#' "$set_file" | awk 'NF >= 2 { print $1, $NF }')
[ ${#dirs[@]} -eq 9 ] || fail "expected 9 directory keys with absolute paths, found ${#dirs[@]}"
mkdir -p "${dirs[@]}"

station="$root/var/lib/acquire_kiv"
mkdir -p "$station"
cp "$set_file" "$station/acquire_kiv.set"
cp "$examples/acquire.par" "$examples/camera.a.conf" "$examples/camera.b.conf" "$station/"
mkdir -p "$work/par"

"$build/camera_sim" --a-control "$(value cam_a_control_dir)" --a-input "$(value cam_a_input_dir)" \
    --b-control "$(value cam_b_control_dir)" --b-input "$(value cam_b_input_dir)" \
    --seconds 90 --log-interval 3 --par-copy "$work/par" > "$work/sim.out" 2>&1 &
sim_pid=$!
(cd "$station" && exec env -u JOURNAL_STREAM "$build/acquire_kiv" > "$work/station.out" 2> "$work/station.err") &
station_pid=$!

datadir=$(value 3sec_dir)
count_datafiles() { find "$datadir" -maxdepth 1 -name '[0-9][0-9][0-9][0-9][0-9][0-9][0-9][0-9].[0-9][0-9][0-9]' | wc -l; }
ready() {
    [ "$(count_datafiles)" -ge 3 ] && [ -f "$(value norm_vid_dir)/video.dat" ] &&
        ls "$(value log_dir)"/v*_1.a.log "$(value log_dir)"/v*_1.b.log > /dev/null 2>&1
}
for _ in $(seq 1 60); do
    ready && break
    kill -0 "$station_pid" 2>/dev/null || fail "acquire_kiv ended"
    sleep 1
done
kill -TERM "$station_pid"
wait "$station_pid"
status=$?
station_pid=""
[ $status -eq 0 ] || fail "acquire_kiv exit status $status after SIGTERM"

[ -s "$work/station.err" ] && fail "error lines on standard error"
# The clock's synchronisation is this machine's, not the example configuration's.
grep -E ' (error|warning) |error processing' "$work/station.out" |
    grep -v 'the station clock is not synchronised' && fail "error or warning messages"
ready || fail "no datafiles, video.dat or camera logs after 60 s"
ls "$(value sync_list_dir)"/v*_1.sync.log > /dev/null 2>&1 || fail "no sync list"
"$build/kiv_inspect" --verify "$datadir" > "$work/verify.out" 2>&1 ||
    { cat "$work/verify.out"; fail "kiv_inspect --verify"; }

# Every setting of the example parameter files reaches the camera in the measurement push
# (acquire.par for both cameras, camera.X.conf for camera X).
numeric_value() { awk -v k="$1" '!/^[[:space:]]*#/ && $1 == k { v = $NF } END { print v }' "$2"; }
for cam in a b; do
    pushed=""
    for f in "$work/par/${cam^^}".*.acquire.par; do
        [ "$(numeric_value operation_mode "$f")" = 2 ] && pushed="$f"
    done
    [ -n "$pushed" ] || fail "camera $cam received no measurement parameters"
    for file in "$examples/acquire.par" "$examples/camera.$cam.conf"; do
        for key in $(awk '!/^[[:space:]]*#/ && NF >= 2 { print $1 }' "$file"); do
            want=$(numeric_value "$key" "$file")
            got=$(numeric_value "$key" "$pushed")
            if [[ "$want" =~ ^-?[0-9.]+$ ]]; then
                awk -v a="$want" -v b="$got" 'BEGIN { exit !(b != "" && a - b < 1e-3 && b - a < 1e-3) }' ||
                    fail "camera $cam: $key is $got, $(basename "$file") says $want"
            else
                [ "$want" = "$got" ] || fail "camera $cam: $key is $got, $(basename "$file") says $want"
            fi
        done
    done
done
echo "ok"
