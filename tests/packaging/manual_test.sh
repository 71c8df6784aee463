#!/usr/bin/env bash
# The manual pages: each program's page lists the options its --help names, no more and no
# fewer; acquire_kiv.set(5) explains every key of the example configuration files; and man
# renders every page without a warning.
set -u
build="$KIV_BINARY_DIR"
pages="$KIV_SOURCE_DIR/docs/man"
examples="$KIV_SOURCE_DIR/packaging/examples"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
fail() { echo "FAIL: $*"; status=1; }

# "--name" words, with the camera prefixes "--a-" and "--b-" as "--a" and "--b".
option_names() { grep -oE -- '--[a-z][a-z0-9-]*' | sed 's/-$//' | sort -u; }
# The roff source of the OPTIONS section (with its subsections) as plain text.
page_options() {
    sed -n '/^\.SH OPTIONS/,/^\.SH /p' "$1" | sed -e '$d' -e 's/\\-/-/g' -e 's/\\f[BIRP]//g' |
        option_names
}
for program in acquire_kiv:8 camera_sim:1 kiv_inspect:1; do
    name=${program%:*}
    page="$pages/$name.${program#*:}"
    (cd "$work" && "$build/$name" --help > "$work/$name.help" 2>&1) || fail "$name --help"
    option_names < "$work/$name.help" > "$work/$name.from-help"
    page_options "$page" > "$work/$name.from-page"
    [ -s "$work/$name.from-help" ] || fail "$name --help names no option"
    diff "$work/$name.from-help" "$work/$name.from-page" > "$work/$name.diff" ||
        fail "$name: options of --help (<) and of $(basename "$page") (>) differ:
$(cat "$work/$name.diff")"
done

# Every key of the example configuration is explained in acquire_kiv.set(5).
set_page="$pages/acquire_kiv.set.5"
for file in acquire_kiv.set acquire.par camera.a.conf camera.b.conf; do
    for key in $(awk '!/^[[:space:]]*#/ && NF >= 2 { print $1 }' "$examples/$file"); do
        grep -qE "^\.B $key\$|^([a-z_0-9]+, )*$key(, [a-z_0-9]+)*"$'\t' "$set_page" ||
            fail "acquire_kiv.set(5) does not explain $key of $file"
    done
done

if command -v man > /dev/null; then
    for page in "$pages"/*.[158]; do
        out=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 > /dev/null)
        [ -z "$out" ] || fail "man $(basename "$page"): $out"
    done
fi
[ $status -eq 0 ] && echo "ok"
exit $status
