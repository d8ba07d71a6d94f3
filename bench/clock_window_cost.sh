#!/usr/bin/env bash
# What TamoClock costs while it sits on the desktop, measured as bench/follow_cost.sh measures
# tamo-clock --follow: for a seconds format and a minutes format, on the offscreen platform and
# (when Xvfb is installed) under a real X server, runs the window for a bounded time with its
# own temporary settings and runtime folders, once its host runs and has settled, and reports
#   - wakeups: voluntary context switches (each is one sleep in the event loop that ended), per
#     minute, for the whole process and for each thread by name;
#   - CPU time, user + system (/proc/PID/stat, in clock ticks) and exact on-CPU time
#     (/proc/PID/task/*/schedstat).
# Not part of make test: it takes real time.
#
#   bench/clock_window_cost.sh [SECONDS-PER-RUN] [PATH-TO-TamoClock]     (default 60, build/bin)
set -euo pipefail

duration=${1:-60}
clock=${2:-"$(dirname "$0")/../build/bin/TamoClock"}
[ -x "$clock" ] || { echo "no TamoClock at $clock (make build first)" >&2; exit 1; }
export TZ=${TZ:-Asia/Tokyo} LANG=C.UTF-8
ticks=$(getconf CLK_TCK)

# "<thread name> <voluntary switches> <on-CPU ns>" for every thread of PID, then "ticks <utime+stime>".
sample() {
    local pid=$1 task stat
    for task in /proc/"$pid"/task/*; do
        printf '%s %s %s\n' "$(tr ' ' '_' <"$task/comm")" \
            "$(awk '/^voluntary_ctxt_switches/ {print $2}' "$task/status")" \
            "$(cut -d' ' -f1 "$task/schedstat")"
    done
    stat=$(cut -d')' -f2- "/proc/$pid/stat")
    set -- $stat
    echo "ticks $(( ${12} + ${13} ))"
}

run() {
    local platform=$1 name=$2 format=$3
    local tmp; tmp=$(mktemp -d)
    mkdir -p "$tmp/config/vb-program-settings" "$tmp/run"
    chmod 700 "$tmp/config/vb-program-settings" "$tmp/run"
    local ini="$tmp/config/vb-program-settings/Tamo for Windows NT%2F95.ini"
    printf '[Main]\nZPFormat=%s\n\n[Plug in]\nTamoZP=1\n' "$format" >"$ini"
    chmod 600 "$ini"
    XDG_CONFIG_HOME="$tmp/config" XDG_RUNTIME_DIR="$tmp/run" QT_QPA_PLATFORM="$platform" \
        "$clock" 2>"$tmp/err" &
    local pid=$!
    # Running once it has published its handle; then a few seconds to settle.
    for _ in $(seq 100); do
        grep -q "^RestartMsgRecv=$pid\$" "$ini" 2>/dev/null && break
        sleep 0.1
    done
    sleep 3
    sample "$pid" >"$tmp/before"
    sleep "$duration"
    sample "$pid" >"$tmp/after"
    kill -TERM "$pid"; wait "$pid" || true

    echo "== $name on $platform: stored format '$format', $duration s"
    awk -v d="$duration" -v hz="$ticks" '
        FNR == NR { if ($1 == "ticks") t0 = $2; else { w0[$1] += $2; n0[$1] += $3 } next }
        $1 == "ticks" { t1 = $2; next }
        { w1[$1] += $2; n1[$1] += $3; names[$1] = 1 }
        END {
            m = d / 60
            for (t in names) {
                w = w1[t] - w0[t]; all += w; ns += n1[t] - n0[t]
                printf "  thread %-18s %6d wakeups (%.1f per minute)\n", t, w, w / m
            }
            printf "wakeups, all threads:     %d (%.1f per minute)\n", all, all / m
            printf "CPU:                      user+sys %.3f s (%d ticks), on-CPU %.3f ms (%.1f us per wakeup)\n",
                   (t1 - t0) / hz, t1 - t0, ns / 1e6, all ? ns / 1e3 / all : 0
        }' "$tmp/before" "$tmp/after"
    [ -s "$tmp/err" ] && { echo "standard error:"; cat "$tmp/err"; }
    rm -rf "$tmp"
}

run offscreen seconds '%h:nn:ss%'
run offscreen minutes '%h:nn%'

if command -v Xvfb >/dev/null; then
    # A display number of its own: Xvfb picks a free one and writes it to the descriptor.
    numberFile=$(mktemp)
    Xvfb -displayfd 3 -screen 0 1024x600x24 -nolisten tcp 3>"$numberFile" 2>/dev/null &
    xvfb=$!
    for _ in $(seq 50); do [ -s "$numberFile" ] && break; sleep 0.1; done
    export DISPLAY=":$(head -1 "$numberFile")"
    run xcb seconds '%h:nn:ss%'
    run xcb minutes '%h:nn%'
    kill "$xvfb"; wait "$xvfb" 2>/dev/null || true
    rm -f "$numberFile"
else
    echo "(no Xvfb: skipped the X server runs)"
fi
