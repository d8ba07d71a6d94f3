#!/bin/sh
# tamo-clock --follow with TZ unset, in a mount namespace of its own whose /etc/localtime is a
# bind-mounted copy of Tokyo's zone: overwriting the copy with New York's must show New York's
# hour within 3 s, without a restart. Skipped (77) where no namespace can be made.
set -u
clock=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/config" "$work/run" && chmod 700 "$work/run"
cp /usr/share/zoneinfo/Asia/Tokyo "$work/localtime" || exit 77
unshare -m true 2>/dev/null || exit 77

unshare -m sh -c '
    set -e
    work=$1 clock=$2
    mount --bind "$work/localtime" /etc/localtime
    env -u TZ XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/run" \
        "$clock" --follow --format "%h:nn:ss%" >"$work/out" 2>"$work/err" &
    host=$!
    sleep 1.2  # a new second of modification time for the zone read at start
    cat /usr/share/zoneinfo/America/New_York >"$work/localtime"
    sleep 3
    kill $host
    wait $host || true
' sh "$work" "$clock" || exit 1

tokyo=$(TZ=Asia/Tokyo date +%-H)
newyork=$(TZ=America/New_York date +%-H)
first=$(head -n 1 "$work/out" | cut -d: -f1)
last=$(tail -n 1 "$work/out" | cut -d: -f1)
echo "first line $(head -n 1 "$work/out"), last $(tail -n 1 "$work/out"); Tokyo $tokyo, New York $newyork"
cat "$work/err"
# An hour may begin during the run: either zone's hour a second earlier counts too.
[ "$first" = "$tokyo" ] || [ "$first" = "$(TZ=Asia/Tokyo date -d '-5 sec' +%-H)" ] || exit 1
[ "$last" = "$newyork" ] || [ "$last" = "$(TZ=America/New_York date -d "-5 sec" +%-H)" ] || exit 1
