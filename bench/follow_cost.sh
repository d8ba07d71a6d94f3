#!/usr/bin/env bash
# What tamo-clock --follow costs while it runs: for a seconds format and a minutes format, runs
# the host for a bounded time with its own temporary settings and runtime folders, reads its
# lines as a status bar would, and reports
#   - lines printed, and how late each arrived after its wall-clock boundary (max, median);
#   - CPU time, user + system (/proc/PID/stat, in clock ticks) and exact on-CPU time
#     (/proc/PID/schedstat), for the whole run and for the steady state after the first line;
#   - wakeups: voluntary context switches (each is one sleep in poll() that ended), per minute.
# Not part of make test: it takes real time.
#
#   bench/follow_cost.sh [SECONDS-PER-FORMAT] [PATH-TO-tamo-clock]     (default 60, build/bin)
set -euo pipefail

duration=${1:-60}
clock=${2:-"$(dirname "$0")/../build/bin/tamo-clock"}
[ -x "$clock" ] || { echo "no tamo-clock at $clock (make build first)" >&2; exit 1; }
export TZ=${TZ:-Asia/Tokyo} LANG=C.UTF-8
ticks=$(getconf CLK_TCK)

# Fields of /proc/PID: utime+stime in ticks, on-CPU nanoseconds, voluntary switches.
sample() {
    local pid=$1 stat
    stat=$(cut -d')' -f2- "/proc/$pid/stat")
    set -- $stat
    # after "pid (comm)": $1 state ... utime is field 14 overall, here 12; stime 13
    echo "$(( ${12} + ${13} )) $(cut -d' ' -f1 "/proc/$pid/schedstat") \
$(awk '/^voluntary_ctxt_switches/ {print $2}' "/proc/$pid/status")"
}

run() {
    local name=$1 format=$2 period=$3
    local tmp; tmp=$(mktemp -d)
    mkdir -p "$tmp/config" "$tmp/run"; chmod 700 "$tmp/run"
    mkfifo "$tmp/out"
    XDG_CONFIG_HOME="$tmp/config" XDG_RUNTIME_DIR="$tmp/run" \
        "$clock" --follow --format "$format" >"$tmp/out" 2>"$tmp/err" &
    local pid=$!
    exec 3<"$tmp/out"

    local start=$EPOCHREALTIME first="" lines=0 late=()
    local end=$(( ${start%.*} + duration ))
    while :; do
        local left=$(( end - ${EPOCHREALTIME%.*} ))
        (( left > 0 )) || break
        IFS= read -r -t "$left" line <&3 || break
        local now=$EPOCHREALTIME
        lines=$((lines + 1))
        if [ -z "$first" ]; then
            first=$(sample "$pid")
        else
            # How far past the boundary the line came, in ms.
            late+=("$(awk -v t="$now" -v p="$period" 'BEGIN { printf "%.3f", (t - int(t / p) * p) * 1000 }')")
        fi
    done
    local last; last=$(sample "$pid")
    kill -TERM "$pid"; wait "$pid" || true
    exec 3<&-

    read -r t0 ns0 w0 <<<"$first"
    read -r t1 ns1 w1 <<<"$last"
    local minutes; minutes=$(awk -v d="$duration" 'BEGIN { print d / 60 }')
    echo "== $name: --format '$format', $duration s"
    echo "lines printed:            $lines"
    if ((${#late[@]})); then
        printf '%s\n' "${late[@]}" | sort -n | awk '{ a[NR] = $1 } END {
            printf "line after its boundary:  median %.2f ms, max %.2f ms\n", a[int((NR + 1) / 2)], a[NR] }'
    fi
    awk -v t1="$t1" -v ns1="$ns1" -v t0="$t0" -v ns0="$ns0" -v w0="$w0" -v w1="$w1" \
        -v hz="$ticks" -v m="$minutes" -v n="$lines" 'BEGIN {
        printf "CPU whole run:            user+sys %.3f s (%d ticks), on-CPU %.3f ms\n", t1 / hz, t1, ns1 / 1e6
        printf "CPU after the first line: user+sys %.3f s, on-CPU %.3f ms", (t1 - t0) / hz, (ns1 - ns0) / 1e6
        if (n > 1) printf ", %.1f us per printed line", (ns1 - ns0) / 1e3 / (n - 1)
        printf "\n"
        printf "wakeups after the first line: %d (%.1f per minute)\n", w1 - w0, (w1 - w0) / m
    }'
    [ -s "$tmp/err" ] && { echo "standard error:"; cat "$tmp/err"; }
    rm -rf "$tmp"
}

run seconds '%h:nn:ss%' 1
run minutes '%h:nn%' 60
