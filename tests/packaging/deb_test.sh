#!/usr/bin/env bash
# cpack -G DEB builds the package acquire-kiv: the station's files below /usr with the units
# naming /usr/bin/acquire_kiv, the dependencies on the libraries the programs link, and
# maintainer scripts that the shell accepts.
set -u
build="$KIV_BINARY_DIR"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

for tool in cpack dpkg-deb dpkg-shlibdeps; do
    command -v "$tool" > /dev/null || { echo "$tool not found: skipped"; exit 0; }
done
cpack -G DEB -B "$work" --config "$build/CPackConfig.cmake" > "$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log"; fail "cpack -G DEB"; }
deb=$(ls "$work"/acquire-kiv_*.deb 2>/dev/null)
[ -n "$deb" ] && [ "$(echo "$deb" | wc -l)" -eq 1 ] || fail "no single acquire-kiv_*.deb"

dpkg-deb -f "$deb" Package | grep -qx acquire-kiv || fail "package name"
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libqt6core6 libpng16-16 adduser; do
    echo "$depends" | grep -q "$lib" || fail "Depends lacks $lib: $depends"
done
# The station installs headless: no display or graphics library comes with it.
for lib in libqt6gui6 libx11 libgl libegl libxcb; do
    echo "$depends" | grep -qi "$lib" && fail "Depends pulls $lib: $depends"
done

dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $6 }' | sed 's|^\./||' | sort > "$work/files"
for f in usr/bin/acquire_kiv usr/bin/camera_sim usr/bin/kiv_inspect \
    usr/lib/systemd/system/acquire_kiv.service usr/lib/systemd/system/acquire_kiv-livevideo.service \
    usr/lib/sysusers.d/acquire_kiv.conf usr/share/acquire_kiv/examples/acquire_kiv.set \
    usr/share/doc/acquire-kiv/operator-guide.md; do
    grep -qx "$f" "$work/files" || fail "$f not in the package"
done
grep -v '^usr/' "$work/files" && fail "files outside /usr"

mkdir "$work/x"
dpkg-deb -x "$deb" "$work/x"
grep -qx "ExecStart=/usr/bin/acquire_kiv" "$work/x/usr/lib/systemd/system/acquire_kiv.service" ||
    fail "the packaged unit does not start /usr/bin/acquire_kiv"
file "$work/x/usr/bin/acquire_kiv" 2>/dev/null | grep -q "not stripped" && fail "programs not stripped"

dpkg-deb -e "$deb" "$work/control"
for script in postinst prerm postrm; do
    [ -x "$work/control/$script" ] || fail "$script missing or not executable"
    sh -n "$work/control/$script" || fail "$script: shell syntax"
done
echo "ok"
