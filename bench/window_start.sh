#!/usr/bin/env bash
# Times an ordinary `datebell` run (20 events due, reminder window shown) from
# process start until its window is mapped, against bench_minimal_window (a bare
# Qt Widgets window of the same size), and prints medians.
#
# Usage: bench/window_start.sh [-r RUNS] BUILD_DIR [SIZES...]
#   BUILD_DIR holds datebell, libdatebell-core.so, libdatebell-windows.so, datebell-newdb and
#   bench/bench_{minimal,wait}_window; SIZES (total events) default to
#   10000 100000; RUNS (timed runs per program and size) defaults to 7, or $RUNS.
#
# Everything runs under one private Xvfb server started here, with no window
# manager. bench_wait_window starts each program, notes the MapNotify of its
# window, presses Esc in it and waits for the exit, so both programs are driven
# and measured identically. Of the events, exactly 20 fall 1 to 2 days after
# today (12 annual, 8 one-off); the rest lie 8 to ~3650 days ahead (60% annual),
# so nothing is past and closing the window leaves the database untouched.
set -euo pipefail

# shellcheck source=bench/common.sh
. "$(dirname "$0")/common.sh"
bench_runs 7 "$@"
set -- "${bench_args[@]}"
(( $# >= 1 )) || bench_usage 6 9
build_dir=$(cd "$1" && pwd)
shift
sizes=("$@")
(( ${#sizes[@]} )) || sizes=(10000 100000)
bench_require "$build_dir" sqlite3 Xvfb -- datebell libdatebell-core.so datebell-newdb libdatebell-windows.so \
    bench/bench_minimal_window bench/bench_wait_window
minimal=$build_dir/bench/bench_minimal_window
waiter=$build_dir/bench/bench_wait_window

work=$(mktemp -d "${TMPDIR:-/tmp}/datebell-window.XXXXXX")
xvfb_pid=
cleanup() {
    if [[ -n $xvfb_pid ]]; then
        kill "$xvfb_pid" 2>/dev/null || true
        wait "$xvfb_pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

# One X server for the whole run; -displayfd makes it pick a free display number.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
for (( i = 0; i < 100; i++ )); do
    [[ -s $work/display ]] && break
    kill -0 "$xvfb_pid" 2>/dev/null || { echo "Xvfb failed:" >&2; cat "$work/xvfb.log" >&2; exit 1; }
    sleep 0.1
done
[[ -s $work/display ]] || { echo "Xvfb did not report a display" >&2; exit 1; }
DISPLAY=:$(<"$work/display")
export DISPLAY
unset WAYLAND_DISPLAY
export QT_QPA_PLATFORM=xcb
export XDG_RUNTIME_DIR=$work/runtime
mkdir -m 700 "$XDG_RUNTIME_DIR"

today=$(date +%F)
yesterday=$(date -d "$today -1 day" +%F)

export XDG_CONFIG_HOME=$work/config
conf=$XDG_CONFIG_HOME/Datebell/Datebell.conf
mkdir -p "${conf%/*}"

reset_settings() {
    printf '[Settings]\nLastRemindDate=%s\nDaysAhead=2\n' "$yesterday" >"$conf"
}

# run_window OUT TITLE CMD... : one timed run; writes "MAP_NS EXIT_NS STATUS W H"
# to OUT and the program's output to OUT.log. Fails unless the program exited 0.
run_window() {
    local out=$1 title=$2 status
    shift 2
    if ! "$waiter" -t 60 "$title" "$@" >"$out" 2>"$out.log"; then
        echo "no measurement for $*:" >&2; cat "$out.log" >&2
        return 1
    fi
    read -r _ _ status _ <"$out"
    if (( status != 0 )); then
        echo "$* exited with status $status:" >&2; cat "$out.log" >&2
        return 1
    fi
}

ms() { awk '{ printf "%.1f", $1 / 1e6 }'; }

results=()
for n in "${sizes[@]}"; do
    if [[ ! $n =~ ^[1-9][0-9]*$ ]] || (( n < 20 )); then
        echo "bad size: $n (need >= 20)" >&2
        exit 2
    fi
    dir=$work/prog-$n
    mkdir -p "$dir"
    # Real copies: the program looks for its database beside the resolved
    # executable, and loads its engine and its window module from the same folder.
    cp "$build_dir/datebell" "$build_dir/libdatebell-core.so" "$build_dir/libdatebell-windows.so" "$dir/"
    "$build_dir/datebell-newdb" "$dir" >/dev/null
    db=$dir/Datebell.mdb

    # n - 20 events far ahead: i mod 10 picks the year, a stride spreads the day
    # over days 8..357 of it, so even annual ones stay clear of the 3-day window;
    # i mod 5 < 3 makes 60% annual. Then 20 due ones tomorrow and the day after.
    far=$(( n - 20 ))
    gen_start=$(date +%s%N)
    sqlite3 "$db" <<SQL
PRAGMA cache_size = -262144;
BEGIN;
WITH RECURSIVE seq(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM seq WHERE i + 1 < $far)
INSERT INTO Events (EventDate, Description, RepeatFlag)
SELECT date('$today', '+' || (365 * (i % 10) + 8 + (i * 7919) % 350) || ' days')
         || printf(' %02d:%02d:00', i % 24, (i * 7) % 60),
       'Event ' || i,
       CASE WHEN i % 5 < 3 THEN -1 ELSE 0 END
FROM seq WHERE $far > 0;
WITH RECURSIVE seq(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM seq WHERE i + 1 < 20)
INSERT INTO Events (EventDate, Description, RepeatFlag)
SELECT date('$today', '+' || (1 + i % 2) || ' days') || printf(' %02d:00:00', 8 + i / 2),
       'Due event ' || i,
       CASE WHEN i % 5 < 3 THEN -1 ELSE 0 END
FROM seq;
COMMIT;
SQL
    gen_ms=$(( ($(date +%s%N) - gen_start) / 1000000 ))

    read -r total annual due early < <(sqlite3 -separator ' ' "$db" \
        "SELECT count(*), sum(RepeatFlag = -1),
                sum(EventDate < date('$today', '+3 days')),
                sum(EventDate < date('$today', '+1 days')) FROM Events;")
    (( total == n && due == 20 && early == 0 )) ||
        { echo "bad generated data: $total rows, $due due, $early today or earlier" >&2; exit 1; }
    db_sum=$(md5sum <"$db")
    echo "n=$n: generated in ${gen_ms} ms ($annual annual, $due due)," \
         "db $(( $(stat -c %s "$db") / 1048576 )) MiB" >&2

    # Untimed warm-up of each (page cache, font cache), with checks that
    # datebell saved the date and sized its window for a full list: the same
    # 492 x 381 client as the minimal window, give or take the menu bar, whose
    # height follows each window's font.
    reset_settings
    run_window "$work/warm-db" 'Datebell for Windows' "$dir/datebell" || exit 1
    grep -qx "LastRemindDate=$today" "$conf" || { echo "LastRemindDate not saved:" >&2; cat "$conf" >&2; exit 1; }
    run_window "$work/warm-min" 'Minimal Window' "$minimal" || exit 1
    read -r _ _ _ db_w db_h <"$work/warm-db"
    read -r _ _ _ min_w min_h <"$work/warm-min"
    if (( db_w != min_w || db_h - min_h > 4 || min_h - db_h > 4 )); then
        echo "warning: datebell window ${db_w}x${db_h}, minimal window ${min_w}x${min_h}" >&2
    fi

    # Timed runs, alternating the programs (and which goes first) run by run.
    : >"$work/db.map"; : >"$work/db.exit"; : >"$work/min.map"; : >"$work/min.exit"
    for (( r = 1; r <= runs; r++ )); do
        order=(db min)
        (( r % 2 )) || order=(min db)
        for who in "${order[@]}"; do
            if [[ $who == db ]]; then
                reset_settings
                run_window "$work/run" 'Datebell for Windows' "$dir/datebell" ||
                    { echo "datebell failed on run $r at n=$n" >&2; exit 1; }
            else
                run_window "$work/run" 'Minimal Window' "$minimal" ||
                    { echo "minimal window failed on run $r" >&2; exit 1; }
            fi
            read -r map_ns exit_ns _ <"$work/run"
            echo "$map_ns" >>"$work/$who.map"
            echo "$exit_ns" >>"$work/$who.exit"
        done
    done
    [[ $(md5sum <"$db") == "$db_sum" ]] || echo "warning: database changed during the runs at n=$n" >&2

    db_map=$(median <"$work/db.map" | ms)
    min_map=$(median <"$work/min.map" | ms)
    db_exit=$(median <"$work/db.exit" | ms)
    min_exit=$(median <"$work/min.exit" | ms)
    ratio=$(awk -v a="$db_map" -v b="$min_map" 'BEGIN { printf "%.2f", a / b }')
    results+=("$n $db_map $min_map $ratio $db_exit $min_exit ${db_w}x${db_h} ${min_w}x${min_h}")
    rm -rf "$dir"   # free the disk before the next size
done

echo
echo "start to window mapped, and start to exit after Esc (medians of $runs runs, Xvfb $DISPLAY, today $today)"
printf '%10s %12s %12s %15s %13s %13s %12s %12s\n' events datebell_ms minimal_ms datebell/minimal \
    datebell_exit minimal_exit datebell_win minimal_win
for row in "${results[@]}"; do
    # shellcheck disable=SC2086  # row is a space-separated record
    printf '%10s %12s %12s %15s %13s %13s %12s %12s\n' $row
done
