#!/usr/bin/env bash
# cmake --install of the station component: the programs run from where they land, the units
# name the installed program and pass systemd-analyze verify (where it works here), and the
# configuration (in /etc for the prefix /usr), the manual pages and the guides are in place.
set -u
build="$KIV_BINARY_DIR"
src="$KIV_SOURCE_DIR"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

install_into() { # DESTDIR prefix
    DESTDIR="$1" cmake --install "$build" --prefix "$2" --component station > "$work/install.log" 2>&1 ||
        { cat "$work/install.log"; fail "cmake --install --prefix $2"; }
}

root="$work/root"
install_into "$root" /usr

expected=(
    usr/bin/acquire_kiv usr/bin/camera_sim usr/bin/kiv_inspect
    usr/lib/systemd/system/acquire_kiv.service
    usr/lib/systemd/system/acquire_kiv-livevideo.service
    usr/lib/systemd/system/acquire_kiv.service.d/shares.conf
    usr/lib/systemd/system/acquire_kiv-livevideo.service.d/shares.conf
    usr/lib/sysusers.d/acquire_kiv.conf
    usr/share/acquire_kiv/examples/acquire_kiv.set
    usr/share/acquire_kiv/examples/acquire.par
    usr/share/acquire_kiv/examples/camera.a.conf
    usr/share/acquire_kiv/examples/camera.b.conf
    usr/share/doc/acquire-kiv/operator-guide.md
    usr/share/doc/acquire-kiv/README.md
    usr/share/doc/acquire-kiv/monitoring.md
    usr/share/doc/acquire-kiv/acquire_kiv.rules.yml
    usr/share/doc/acquire-kiv/copyright
    usr/share/doc/acquire-kiv/changelog.gz
    usr/share/man/man1/camera_sim.1.gz
    usr/share/man/man1/kiv_inspect.1.gz
    usr/share/man/man5/acquire_kiv.set.5.gz
    usr/share/man/man8/acquire_kiv.8.gz
    usr/share/lintian/overrides/acquire-kiv
    etc/acquire_kiv/acquire_kiv.set
    etc/acquire_kiv/acquire.par
    etc/acquire_kiv/camera.a.conf
    etc/acquire_kiv/camera.b.conf
)
for f in "${expected[@]}"; do
    [ -f "$root/$f" ] || fail "$f not installed"
done
# Nothing else: no test programs, libraries or headers in the station component.
(cd "$root" && find . -type f | sed 's|^\./||' | sort) > "$work/installed"
printf '%s\n' "${expected[@]}" | sort > "$work/expected"
diff -u "$work/expected" "$work/installed" || fail "unexpected installed files"

for p in acquire_kiv camera_sim kiv_inspect; do
    [ -x "$root/usr/bin/$p" ] || fail "$p not executable"
done
for f in usr/lib/systemd/system/acquire_kiv.service usr/share/acquire_kiv/examples/acquire.par \
    etc/acquire_kiv/acquire_kiv.set; do
    [ "$(stat -c %a "$root/$f")" = 644 ] || fail "$f has mode $(stat -c %a "$root/$f")"
done
# The installed programs run.
(cd "$work" && env -i "$root/usr/bin/acquire_kiv" --stop > "$work/stop.out" 2>&1) ||
    fail "installed acquire_kiv --stop"
"$root/usr/bin/camera_sim" --help | grep -q "^usage: camera_sim" || fail "camera_sim --help"
"$root/usr/bin/kiv_inspect" --help | grep -q "^usage: kiv_inspect" || fail "kiv_inspect --help"

# The measurement unit as the service needs it; the live-video unit never runs beside it.
unit="$root/usr/lib/systemd/system/acquire_kiv.service"
video="$root/usr/lib/systemd/system/acquire_kiv-livevideo.service"
for line in "Type=notify" "WatchdogSec=120s" "ExecStart=/usr/bin/acquire_kiv" "WorkingDirectory=/var/lib/acquire_kiv" \
    "User=acquire_kiv" "KillSignal=SIGTERM" "Restart=on-failure" "SyslogLevel=err" \
    "Documentation=file:///usr/share/doc/acquire-kiv/operator-guide.md"; do
    grep -qx "$line" "$unit" || fail "acquire_kiv.service lacks $line"
done
grep -q "^StateDirectory=acquire_kiv " "$unit" || fail "no StateDirectory"
grep -q "^RestartSec=" "$unit" || fail "no RestartSec"
grep -q "^StartLimitIntervalSec=" "$unit" && grep -q "^StartLimitBurst=" "$unit" ||
    fail "no start limit"
grep -qx "ExecStart=/usr/bin/acquire_kiv --livevideo" "$video" || fail "live-video ExecStart"
grep -qx "Conflicts=acquire_kiv.service" "$video" || fail "live video does not stop measurement"
# Both units run the program in the same station as the same user, hardened alike.
for key in User Group WorkingDirectory StateDirectory UMask SyslogLevel; do
    [ "$(grep "^$key=" "$unit")" = "$(grep "^$key=" "$video")" ] || fail "$key differs"
done
hardening() { sed -n '/^# Hardening/,/^\[Install\]/p' "$1" | grep -v '^\[Install\]' | grep -v '^$'; }
[ -n "$(hardening "$unit")" ] || fail "no hardening section"
diff <(hardening "$unit") <(hardening "$video") || fail "the units are hardened differently"

# Another prefix is written into the units.
install_into "$work/local" /usr/local
grep -qx "ExecStart=/usr/local/bin/acquire_kiv" "$work/local/usr/local/lib/systemd/system/acquire_kiv.service" ||
    fail "prefix /usr/local not in the unit"
grep -qx "Documentation=file:///usr/local/share/doc/acquire-kiv/operator-guide.md" \
    "$work/local/usr/local/lib/systemd/system/acquire_kiv.service" || fail "guide path for /usr/local"
[ -f "$work/local/usr/local/etc/acquire_kiv/acquire_kiv.set" ] || fail "configuration for /usr/local"
[ ! -e "$work/local/etc" ] || fail "an installation below /usr/local wrote to /etc"

# systemd-analyze verify, on units installed under a prefix that exists here (it checks that
# ExecStart is executable). It reports unknown keys only as warnings: any output fails.
if ! command -v systemd-analyze > /dev/null; then
    echo "systemd-analyze not found: verify skipped"
else
    printf '[Service]\nExecStart=/bin/true\n' > "$work/probe.service"
    printf '[Service]\nExecStart=/bin/true\nNoSuchKey=1\n' > "$work/broken.service"
    if ! systemd-analyze verify "$work/probe.service" > "$work/probe.out" 2>&1 ||
        [ -s "$work/probe.out" ] ||
        [ -z "$(systemd-analyze verify "$work/broken.service" 2>&1)" ]; then
        echo "systemd-analyze verify does not work here: verify skipped"
        cat "$work/probe.out"
    else
        prefix="$work/verify"
        cmake --install "$build" --prefix "$prefix" --component station > "$work/install.log" 2>&1 ||
            fail "install under $prefix"
        for u in acquire_kiv.service acquire_kiv-livevideo.service; do
            out=$(systemd-analyze verify "$prefix/lib/systemd/system/$u" 2>&1)
            status=$?
            [ $status -eq 0 ] && [ -z "$out" ] || fail "systemd-analyze verify $u: $status $out"
        done
    fi
fi
echo "ok"
