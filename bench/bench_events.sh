#!/usr/bin/env bash
# Times datebell-events over a large event table: export as CSV and as iCalendar, and import
# of each file into an empty database; prints the median of the runs of each.
#
# Usage: bench/bench_events.sh [-r RUNS] BUILD_DIR [EVENTS]
#   BUILD_DIR holds datebell-events and datebell-newdb; EVENTS defaults to 100000,
#   RUNS (timed runs of each operation) to 3, or $RUNS if set.
set -euo pipefail

runs=${RUNS:-3}
if [[ ${1:-} == -r || ${1:-} == --runs ]]; then
    runs=${2:?missing value for $1}
    shift 2
fi
if (( $# < 1 || $# > 2 )); then
    sed -n '5,7s/^# \{0,1\}//p' "$0" >&2
    exit 2
fi
build_dir=$(cd "$1" && pwd)
n=${2:-100000}
[[ $runs =~ ^[1-9][0-9]*$ ]] || { echo "runs must be a positive integer" >&2; exit 2; }
[[ $n =~ ^[1-9][0-9]*$ ]] || { echo "events must be a positive integer" >&2; exit 2; }
command -v sqlite3 >/dev/null || { echo "missing tool: sqlite3" >&2; exit 2; }
for exe in datebell-events datebell-newdb; do
    [[ -x $build_dir/$exe ]] || { echo "no executable $build_dir/$exe" >&2; exit 2; }
done
events=$build_dir/datebell-events
newdb=$build_dir/datebell-newdb
# GNU time gives the peak RSS (%M, KiB) of the timed process.
gnu_time=/usr/bin/time
if ! "$gnu_time" -f %M -o /dev/null true 2>/dev/null; then
    echo "note: GNU time not found at $gnu_time; peak RSS is reported as n/a" >&2
    gnu_time=
fi

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

# run_timed OUT CMD...: runs CMD, writes the wall time in ns to OUT.ns and the peak RSS in KiB
# to OUT.kb, standard output to OUT.stdout and standard error to OUT.stderr.
run_timed() {
    local out=$1 t0 t1 rc=0
    shift
    t0=$(date +%s%N)
    if [[ -n $gnu_time ]]; then
        "$gnu_time" -f %M -o "$out.kb" "$@" >"$out.stdout" 2>"$out.stderr" || rc=$?
        tail -n 1 "$out.kb" >"$out.kb.tmp" && mv "$out.kb.tmp" "$out.kb"
    else
        "$@" >"$out.stdout" 2>"$out.stderr" || rc=$?
        echo NA >"$out.kb"
    fi
    t1=$(date +%s%N)
    echo $(( t1 - t0 )) >"$out.ns"
    if (( rc != 0 )); then
        echo "failed ($rc): $*" >&2
        cat "$out.stderr" >&2
        exit 1
    fi
}

median() {  # numbers on stdin, one a line
    sort -n | awk '{ v[NR] = $1 } END {
        if (NR == 0) { print "NA"; exit }
        if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
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
        run_timed "$work/run" "$events" --folder "$work/source" export --format "$format" \
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
        run_timed "$work/run" "$events" --folder "$work/target" import "$work/events.$format"
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
