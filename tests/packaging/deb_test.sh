#!/usr/bin/env bash
# cpack -G DEB builds the package acquire-kiv: the station's files below /usr and its
# configuration files in /etc/acquire_kiv as conffiles, the units naming /usr/bin/acquire_kiv,
# hardened programs, the dependencies on the libraries the programs link and on nothing that
# brings a display or graphics library, a changelog of the package's version, and maintainer
# scripts that the shell accepts.
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
# The station installs headless: no display or graphics library comes with it, neither
# directly nor with what apt-get installs beside it (dependencies and recommends, all the
# way down) on a system that has nothing installed yet.
headless() { grep -iE '^(libqt6gui|libx11|libxcb|libxext|libxrender|libgl1|libglx|libglvnd|libegl|libgles|libopengl|libdrm|libgbm|libwayland|libvulkan|mesa)'; }
echo "$depends" | tr ',' '\n' | sed 's/^ *//' | headless && fail "Depends pulls a graphics library"
: > "$work/empty-status"
if apt-get -s -o Dir::State::status="$work/empty-status" install "$deb" > "$work/apt.log" 2>&1; then
    awk '$1 == "Inst" { print $2 }' "$work/apt.log" > "$work/pulled"
    grep -qx acquire-kiv "$work/pulled" || fail "apt-get would not install the package"
    headless < "$work/pulled" && fail "installing the package pulls a graphics library"
else
    echo "apt-get cannot resolve the dependencies here: the installation not simulated"
    tail -3 "$work/apt.log"
fi

dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $6 }' | sed 's|^\./||' | sort > "$work/files"
for f in usr/bin/acquire_kiv usr/bin/camera_sim usr/bin/kiv_inspect \
    usr/lib/systemd/system/acquire_kiv.service usr/lib/systemd/system/acquire_kiv-livevideo.service \
    usr/lib/sysusers.d/acquire_kiv.conf usr/share/acquire_kiv/examples/acquire_kiv.set \
    usr/share/doc/acquire-kiv/operator-guide.md; do
    grep -qx "$f" "$work/files" || fail "$f not in the package"
done
grep -v '^usr/' "$work/files" | grep -v '^etc/acquire_kiv/' && fail "files outside /usr"

mkdir "$work/x"
dpkg-deb -x "$deb" "$work/x"
grep -qx "ExecStart=/usr/bin/acquire_kiv" "$work/x/usr/lib/systemd/system/acquire_kiv.service" ||
    fail "the packaged unit does not start /usr/bin/acquire_kiv"
file "$work/x/usr/bin/acquire_kiv" 2>/dev/null | grep -q "not stripped" && fail "programs not stripped"
# Built with the hardening flags: relocation read-only and bound at start, fortified calls.
# Only where the build took them (sanitizer and debug builds do not).
hardened=0
grep -q '^KIV_HARDEN:BOOL=ON' "$build/CMakeCache.txt" 2>/dev/null && hardened=1
for p in acquire_kiv camera_sim kiv_inspect; do
    [ "$hardened" = 1 ] || break
    readelf -d "$work/x/usr/bin/$p" | grep -q 'BIND_NOW' || fail "$p: no BIND_NOW"
    readelf -lW "$work/x/usr/bin/$p" | grep -q 'GNU_RELRO' || fail "$p: no RELRO"
    readelf --dyn-syms -W "$work/x/usr/bin/$p" | grep -q '__[a-z_]*_chk' || fail "$p: not fortified"
done
# Every file in /etc is a conffile.
(cd "$work/x" && find etc -type f | sed 's|^|/|' | sort) > "$work/etc-files"
[ -s "$work/etc-files" ] || fail "no configuration files in /etc"

dpkg-deb -e "$deb" "$work/control"
sort "$work/control/conffiles" | diff "$work/etc-files" - || fail "conffiles differ from /etc"
# The changelog's newest entry is this version.
zcat "$work/x/usr/share/doc/acquire-kiv/changelog.gz" | head -1 |
    grep -qF "acquire-kiv ($(dpkg-deb -f "$deb" Version))" || fail "changelog is not of this version"

for script in preinst postinst prerm postrm; do
    [ -x "$work/control/$script" ] || fail "$script missing or not executable"
    sh -n "$work/control/$script" || fail "$script: shell syntax"
done
echo "ok"
