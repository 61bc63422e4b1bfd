#!/usr/bin/env bash
# Times datebell-events over a large event table: export as CSV and as iCalendar, and import
# of each file into an empty database; prints the median of the runs of each.
#
# Usage: bench/bench_events.sh [-r RUNS] BUILD_DIR [EVENTS]
#   BUILD_DIR holds datebell-events and datebell-newdb; EVENTS defaults to 100000,
#   RUNS (timed runs of each operation) to 3, or $RUNS if set.
set -euo pipefail

# shellcheck source=bench/common.sh
. "$(dirname "$0")/common.sh"
bench_runs 3 "$@"
set -- "${bench_args[@]}"
(( $# >= 1 && $# <= 2 )) || bench_usage 5 7
build_dir=$(cd "$1" && pwd)
n=${2:-100000}
[[ $n =~ ^[1-9][0-9]*$ ]] || { echo "events must be a positive integer" >&2; exit 2; }
bench_require "$build_dir" sqlite3 -- datebell-events datebell-newdb
events=$build_dir/datebell-events
newdb=$build_dir/datebell-newdb
work=$(mktemp -d "${TMPDIR:-/tmp}/datebell-events-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

# The source table: ten years of dates, a quarter with a time of day, 60% annual, and
# descriptions with commas, quotes and non-ASCII text, all different.
mkdir "$work/source"
"$newdb" "$work/source" >/dev/null
source_db=$work/source/Datebell.mdb
gen_start=$(date +%s%N)
sqlite3 "$source_db" <<SQL
BEGIN;
WITH RECURSIVE seq(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM seq WHERE i + 1 < $n)
INSERT INTO Events (EventDate, Description, RepeatFlag)
SELECT date('2026-01-01', '+' || ((i * 7919) % 3650) || ' days')
         || CASE WHEN i % 4 = 0 THEN printf(' %02d:%02d:00', i % 24, (i * 7) % 60)
                 ELSE ' 00:00:00' END,
       'Event ' || i || CASE i % 5 WHEN 0 THEN ', with a comma' WHEN 1 THEN ' "quoted"; semi'
                                   WHEN 2 THEN ' Žluťoučký kůň 🎂' ELSE '' END,
       CASE WHEN i % 5 < 3 THEN -1 ELSE 0 END
FROM seq;
COMMIT;
SQL
echo "generated $n events in $(( ($(date +%s%N) - gen_start) / 1000000 )) ms," \
     "database $(( $(stat -c %s "$source_db") / 1024 )) KiB" >&2
source_sum=$(sqlite3 "$source_db" "SELECT EventDate, Description, RepeatFlag FROM Events ORDER BY 1, 2, 3" | md5sum)

# run_checked OUT CMD...: run_timed, ending the benchmark when CMD fails.
run_checked() {
    if ! run_timed "$@"; then
        echo "failed: ${*:2}" >&2
        cat "$1.stderr" >&2
        exit 1
    fi
}

results=()
# record NAME FILE: the medians of the runs just made, and the size of the file involved.
record() {
    local ms mb size
    ms=$(median <"$work/t.ns" | awk '{ printf "%.0f", $1 / 1e6 }')
    mb=$(median <"$work/t.kb" | awk '$1 == "NA" { print "n/a"; next } { printf "%.1f", $1 / 1024 }')
    size=$(( $(stat -c %s "$2") / 1024 ))
    results+=("$1 $ms $(( n * 1000 / (ms > 0 ? ms : 1) )) $mb $size")
}

for format in csv ics; do
    : >"$work/t.ns"; : >"$work/t.kb"
    for (( r = 1; r <= runs; r++ )); do
        run_checked "$work/run" "$events" --folder "$work/source" export --format "$format" \
            "$work/events.$format"
        cat "$work/run.ns" >>"$work/t.ns"; cat "$work/run.kb" >>"$work/t.kb"
    done
    grep -q "Exported $n events" "$work/run.stderr" ||
        { echo "export $format: $(cat "$work/run.stderr")" >&2; exit 1; }
    record "export-$format" "$work/events.$format"
done

for format in csv ics; do
    : >"$work/t.ns"; : >"$work/t.kb"
    for (( r = 1; r <= runs; r++ )); do
        rm -rf "$work/target"
        mkdir "$work/target"
        "$newdb" "$work/target" >/dev/null
        run_checked "$work/run" "$events" --folder "$work/target" import "$work/events.$format"
        cat "$work/run.ns" >>"$work/t.ns"; cat "$work/run.kb" >>"$work/t.kb"
        grep -q "Added $n, duplicates 0, rejected 0" "$work/run.stderr" ||
            { echo "import $format: $(cat "$work/run.stderr")" >&2; exit 1; }
        target_sum=$(sqlite3 "$work/target/Datebell.mdb" \
            "SELECT EventDate, Description, RepeatFlag FROM Events ORDER BY 1, 2, 3" | md5sum)
        [[ $target_sum == "$source_sum" ]] ||
            { echo "import $format: the imported rows differ from the exported ones" >&2; exit 1; }
    done
    record "import-$format" "$work/events.$format"
done

echo
echo "datebell-events over $n events (medians of $runs runs; imports into an empty database)"
printf '%-12s %10s %14s %12s %10s\n' operation median_ms events_per_s peak_MB file_KiB
for row in "${results[@]}"; do
    # shellcheck disable=SC2086  # row is a space-separated record
    printf '%-12s %10s %14s %12s %10s\n' $row
done
