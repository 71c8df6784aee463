#!/usr/bin/env bash
# The monitoring files as a collector sees them: the alert rules pass their unit tests, and the
# metrics that acquire_kiv writes pass promtool's check, in measurement mode while it waits
# for cameras that never answer (the file is rewritten every 10 s all the same), with a
# directory of its configuration missing (the alert rule fires on what it wrote) and in both
# modes after a stop signal (up 0).
set -u
if ! command -v promtool >/dev/null; then
    echo "SKIP: promtool not installed (Debian package prometheus; scripts/install-deps --monitoring)"
    exit 0
fi
prog="$KIV_BINARY_DIR/acquire_kiv"
rules="$KIV_SOURCE_DIR/packaging/monitoring"
work=$(mktemp -d)
station_pid=""
# A station still running (a failed check) is ended and waited for: SIGTERM, SIGKILL after 5 s.
stop_station() {
    [ -n "$station_pid" ] || return 0
    kill -TERM "$station_pid" 2>/dev/null
    for _ in $(seq 1 50); do kill -0 "$station_pid" 2>/dev/null || break; sleep 0.1; done
    kill -KILL "$station_pid" 2>/dev/null
    wait "$station_pid" 2>/dev/null
    station_pid=""
}
cleanup() { stop_station; rm -rf "$work"; }
trap cleanup EXIT
fail() { echo "FAIL: $*"; [ -f "$work/acquire_kiv.prom" ] && cat "$work/acquire_kiv.prom"; exit 1; }
metric() { awk -v n="acquire_kiv_$1" '$1 == n { print $2 }' "$work/acquire_kiv.prom" 2>/dev/null; }
check_metrics() {
    promtool check metrics < "$work/acquire_kiv.prom" > "$work/check.out" 2>&1 ||
        fail "promtool check metrics ($1): $(cat "$work/check.out")"
}
wait_for() { # condition, seconds
    for _ in $(seq 1 $(($2 * 10))); do eval "$1" && return 0; sleep 0.1; done
    return 1
}

(cd "$rules" && promtool check rules acquire_kiv.rules.yml && promtool test rules acquire_kiv.rules.test.yml) ||
    fail "alert rules"

mkdir -p "$work/a" "$work/b" "$work/temp" "$work/3sec" "$work/sync" "$work/log"
cat > "$work/acquire_kiv.set" <<SET
cam_a_input_dir    $work/a
cam_a_control_dir  $work/a
cam_b_input_dir    $work/b
cam_b_control_dir  $work/b
temp_dir           $work/temp
log_dir            $work/log
sync_list_dir      $work/sync
norm_vid_dir       $work/3sec
3sec_dir           $work/3sec
SET

start_station() {
    rm -f "$work/acquire_kiv.prom"
    (cd "$work" && exec "$prog" "$@" > "$work/out" 2>&1) &
    station_pid=$!
    wait_for '[ "$(metric up)" = 1 ]' 10 || fail "no metrics file from acquire_kiv $*"
}

# Measurement mode, no camera answers: phase 1 all along, the time stamp moves on.
start_station
check_metrics "waiting for cameras"
first=$(metric last_update_timestamp_seconds)
[ -n "$(metric datafile_disk_free_bytes)" ] || fail "no free space of the datafile directory"
[ "$(metric 'errors_total{kind="sync_list"}')" = 0 ] || fail "an error kind missing at 0"
wait_for '[ "$(metric last_update_timestamp_seconds)" -ge $((first + 10)) ]' 13 ||
    fail "not rewritten within 10 s while waiting for cameras"
[ "$(metric phase)" = 1 ] || fail "the station left phase 1 without cameras"
stop_station
[ "$(metric up)" = 0 ] || fail "up is not 0 after the stop in measurement mode"
check_metrics "measurement mode stopped"

# A directory of the configuration missing: the metric the alert rule goes by says so, and
# the rule fires on the value this controller wrote, held for five minutes.
rmdir "$work/log"
start_station
check_metrics "a directory missing"
usable=$(metric configuration_usable)
stop_station
[ "$usable" = 0 ] || fail "configuration_usable is '$usable' with log_dir missing"
cat > "$work/missing.test.yml" <<YML
rule_files: [$rules/acquire_kiv.rules.yml]
evaluation_interval: 10s
tests:
  - interval: 10s
    input_series:
      - series: 'acquire_kiv_configuration_usable{instance="st1",job="node"}'
        values: '${usable}x30'
    alert_rule_test:
      - eval_time: 5m
        alertname: AcquireKivConfigurationUnusable
        exp_alerts:
          - exp_labels: {severity: critical, instance: st1, job: node}
            exp_annotations:
              summary: "acquire_kiv on st1 misses configured directories"
YML
promtool test rules "$work/missing.test.yml" > "$work/missing.out" 2>&1 ||
    fail "the alert rule does not fire on the metric: $(cat "$work/missing.out")"
mkdir "$work/log"

# Live video, stopped while it waits for the cameras.
start_station --livevideo
stop_station
[ "$(metric up)" = 0 ] || fail "up is not 0 after the stop in live-video mode"
check_metrics "live video stopped"
echo "PASS"
