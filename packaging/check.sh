#!/bin/sh
# check.sh DEB EXPECTED
# Checks a built Debian package without installing it: its paths (dpkg-deb -c) against the list
# EXPECTED (one path a line, folders ending in "/", '#' lines are comments, any order), every
# desktop entry it holds with desktop-file-validate, which must print nothing, and lintian,
# which must find no error and no warning.
set -eu
export LC_ALL=C
deb=$1 expected=$2

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The listing's sixth field is the path, "./usr/bin/tamo-clock"; a link adds "-> target".
dpkg-deb -c "$deb" | awk '{ print substr($6, 2) }' | grep -vx '/' | sort > "$work/actual"
grep -v -e '^#' -e '^$' "$expected" | sort > "$work/expected"
if ! diff -u --label "$expected" --label "$deb" "$work/expected" "$work/actual"; then
    echo "check.sh: the package's files differ from $expected (- listed only, + packaged only)" >&2
    exit 1
fi

dpkg-deb -x "$deb" "$work/root"
for entry in "$work"/root/usr/share/applications/*.desktop; do
    out=$(desktop-file-validate "$entry" 2>&1) || { echo "$out" >&2; exit 1; }
    if [ -n "$out" ]; then
        echo "$out" >&2
        exit 1
    fi
done

lintian --fail-on error,warning "$deb"
echo "check.sh: $deb: files as listed, desktop entries valid, lintian satisfied"
