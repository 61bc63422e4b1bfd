#!/usr/bin/env bash
# Times the silent start-up pass (`datebell /S`, nothing due) against remind(1)
# answering the same question over the same events, and prints medians.
#
# Usage: bench/silent_pass.sh [-r RUNS] BUILD_DIR [SIZES...]
#   BUILD_DIR holds datebell, libdatebell-core.so and datebell-newdb; SIZES default to 100000 1000000;
#   RUNS (timed runs per program and size) defaults to 7, or $RUNS if set.
#
# Every event lies 8 to ~3650 days after today, so nothing is due within the
# 3-day window and nothing is past: the datebell pass is "open database, count
# due events, save LastRemindDate, exit 0", and remind prints nothing.
set -euo pipefail

# shellcheck source=bench/common.sh
. "$(dirname "$0")/common.sh"
bench_runs 7 "$@"
set -- "${bench_args[@]}"
(( $# >= 1 )) || bench_usage 5 7
build_dir=$(cd "$1" && pwd)
shift
sizes=("$@")
(( ${#sizes[@]} )) || sizes=(100000 1000000)
bench_require "$build_dir" sqlite3 remind -- datebell libdatebell-core.so datebell-newdb

work=$(mktemp -d "${TMPDIR:-/tmp}/datebell-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

today=$(date +%F)
yesterday=$(date -d "$today -1 day" +%F)

# The pass must run headless, as it does from a login script before any session.
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM
export XDG_CONFIG_HOME=$work/config
conf=$XDG_CONFIG_HOME/Datebell/Datebell.conf
mkdir -p "${conf%/*}"

# The settings a pass over this database left yesterday.
reset_settings() {
    printf '[Settings]\nLastRemindDate=%s\nLastRemindDatabase=%s\nDaysAhead=2\n' "$yesterday" "$(realpath "$db")" >"$conf"
}

# remind's cheapest equivalent of the datebell pass: one pass over the file for
# today's date only (no *rep, no calendar), with -t3 pretending every reminder
# has a +3 day delta, so it prints each reminder whose next occurrence falls
# between today and today+3 inclusive; -q: no timed-reminder queue,
# -r: no RUN/shell(), -h: no "No reminders." banner when nothing triggers.
remind_cmd=(remind -q -r -h -t3)

results=()
for n in "${sizes[@]}"; do
    [[ $n =~ ^[1-9][0-9]*$ ]] || { echo "bad size: $n" >&2; exit 2; }
    dir=$work/prog-$n
    mkdir -p "$dir"
    # A real copy: the program looks for its database beside the resolved executable, and for
    # its engine in the same folder.
    cp "$build_dir/datebell" "$build_dir/libdatebell-core.so" "$dir/"
    "$build_dir/datebell-newdb" "$dir" >/dev/null
    db=$dir/Datebell.mdb

    # Events: i mod 10 picks the year, a stride spreads the day over days 8..357
    # of that year, so even annual events (which repeat on their month and day)
    # never come within 4 days of today. i mod 5 < 3 makes 60% annual.
    gen_start=$(date +%s%N)
    sqlite3 "$db" <<SQL
PRAGMA cache_size = -262144;
BEGIN;
WITH RECURSIVE seq(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM seq WHERE i + 1 < $n)
INSERT INTO Events (EventDate, Description, RepeatFlag)
SELECT date('$today', '+' || (365 * (i % 10) + 8 + (i * 7919) % 350) || ' days')
         || printf(' %02d:%02d:00', i % 24, (i * 7) % 60),
       'Event ' || i,
       CASE WHEN i % 5 < 3 THEN -1 ELSE 0 END
FROM seq;
COMMIT;
SQL
    sqlite3 -batch -noheader -list "$db" >"$dir/events.rem" <<'SQL'
SELECT CASE RepeatFlag
         WHEN -1 THEN printf('REM %s %d MSG %s', mon, day, Description)
         ELSE printf('REM %d %s %d MSG %s', day, mon, year, Description)
       END
FROM (SELECT Description, RepeatFlag,
             CAST(substr(EventDate, 1, 4) AS INTEGER) AS year,
             CAST(substr(EventDate, 9, 2) AS INTEGER) AS day,
             substr('JanFebMarAprMayJunJulAugSepOctNovDec',
                    3 * CAST(substr(EventDate, 6, 2) AS INTEGER) - 2, 3) AS mon
      FROM Events ORDER BY rowid);
SQL
    gen_ms=$(( ($(date +%s%N) - gen_start) / 1000000 ))

    # Sanity checks before timing anything.
    read -r total annual early < <(sqlite3 -separator ' ' "$db" \
        "SELECT count(*), sum(RepeatFlag = -1), sum(EventDate < date('$today', '+4 days')) FROM Events;")
    (( total == n && early == 0 )) || { echo "bad generated data: $total rows, $early early" >&2; exit 1; }
    lines=$(wc -l <"$dir/events.rem")
    # -n prints the next occurrence of every reminder: proves remind parses every line.
    parsed=$(remind -q -r -n "$dir/events.rem" 2>/dev/null | wc -l)
    (( lines == n && parsed == n )) || { echo "remind file: $lines lines, $parsed parsed (want $n)" >&2; exit 1; }
    db_sum=$(md5sum <"$db")
    echo "n=$n: generated in ${gen_ms} ms ($annual annual), db $(( $(stat -c %s "$db") / 1048576 )) MiB," \
         "remind file $(( $(stat -c %s "$dir/events.rem") / 1048576 )) MiB" >&2

    # One untimed warm-up of each, so both start from a warm page cache, and
    # a check that both passes really are silent.
    reset_settings
    if ! run_timed "$work/warm-db" "$dir/datebell" /S; then
        echo "datebell /S warm-up failed; stderr:" >&2; cat "$work/warm-db.stderr" >&2; exit 1
    fi
    grep -qx "LastRemindDate=$(date +%F)" "$conf" || { echo "LastRemindDate not saved:" >&2; cat "$conf" >&2; exit 1; }
    run_timed "$work/warm-rem" "${remind_cmd[@]}" "$dir/events.rem" ||
        { echo "remind failed:" >&2; cat "$work/warm-rem.stderr" >&2; exit 1; }
    if [[ -s $work/warm-rem.stdout || -s $work/warm-rem.stderr || -s $work/warm-db.stdout || -s $work/warm-db.stderr ]]; then
        echo "warning: a pass was not silent at n=$n:" >&2
        head -n 3 "$work/warm-db.stdout" "$work/warm-db.stderr" "$work/warm-rem.stdout" "$work/warm-rem.stderr" >&2
    fi

    # Timed runs, alternating the programs so background noise hits both alike.
    # The floor: datebell-newdb printing its usage loads the same Qt Core and SQLite
    # libraries as the pass and does nothing else.
    : >"$work/db.ns"; : >"$work/db.kb"; : >"$work/rem.ns"; : >"$work/rem.kb"; : >"$work/floor.ns"
    for (( r = 1; r <= runs; r++ )); do
        reset_settings
        if ! run_timed "$work/run" "$dir/datebell" /S; then
            echo "datebell /S exited non-zero on run $r at n=$n; stderr:" >&2
            cat "$work/run.stderr" >&2
            exit 1
        fi
        cat "$work/run.ns" >>"$work/db.ns"; cat "$work/run.kb" >>"$work/db.kb"
        run_timed "$work/run" "${remind_cmd[@]}" "$dir/events.rem" ||
            { echo "remind failed on run $r" >&2; exit 1; }
        cat "$work/run.ns" >>"$work/rem.ns"; cat "$work/run.kb" >>"$work/rem.kb"
        run_timed "$work/run" "$build_dir/datebell-newdb" || true
        cat "$work/run.ns" >>"$work/floor.ns"
    done
    [[ $(md5sum <"$db") == "$db_sum" ]] || echo "warning: database changed during the runs at n=$n" >&2

    db_ms=$(median <"$work/db.ns" | awk '{ printf "%.1f", $1 / 1e6 }')
    rem_ms=$(median <"$work/rem.ns" | awk '{ printf "%.1f", $1 / 1e6 }')
    db_mb=$(median <"$work/db.kb" | awk '$1 == "NA" { print "n/a"; next } { printf "%.1f", $1 / 1024 }')
    rem_mb=$(median <"$work/rem.kb" | awk '$1 == "NA" { print "n/a"; next } { printf "%.1f", $1 / 1024 }')
    floor_ms=$(median <"$work/floor.ns" | awk '{ printf "%.1f", $1 / 1e6 }')
    ratio=$(awk -v a="$rem_ms" -v b="$db_ms" 'BEGIN { printf "%.2f", a / b }')
    results+=("$n $db_ms $rem_ms $ratio $db_mb $rem_mb $floor_ms")
    rm -rf "$dir"   # free the disk before the next size
done

echo
echo "datebell /S vs remind ${remind_cmd[*]} FILE (medians of $runs runs, today $today)"
printf '%10s %14s %12s %14s %12s %10s %14s\n' events datebell_ms remind_ms remind/datebell datebell_MB remind_MB qtcore_floor_ms
for row in "${results[@]}"; do
    # shellcheck disable=SC2086  # row is a space-separated record
    printf '%10s %14s %12s %14s %12s %10s %14s\n' $row
done
if (( ${#results[@]} > 1 )); then
    # Flatness: how datebell's median grows from the smallest to the largest size.
    printf '%s\n' "${results[@]}" | sort -n -k1,1 | awk '
        NR == 1 { n0 = $1; ms0 = $2 } { n1 = $1; ms1 = $2 }
        END { printf "flatness: datebell median at %d / at %d = %.2f\n", n1, n0, ms1 / ms0 }'
fi
