#!/usr/bin/env bash
# Times datebell-events over a large event table: export as CSV and as iCalendar, and import
# of each file into an empty database; prints the median of the runs of each. With CSV_MB, it
# also imports a CSV file of that many megabytes and, as the baseline, has sqlite3 .import the
# same rows into the same table.
#
# Usage: bench/bench_events.sh [-r RUNS] BUILD_DIR [EVENTS [CSV_MB]]
#   BUILD_DIR holds datebell-events and datebell-newdb; EVENTS defaults to 100000,
#   RUNS (timed runs of each operation) to 3, or $RUNS if set.
set -euo pipefail

# shellcheck source=bench/common.sh
. "$(dirname "$0")/common.sh"
bench_runs 3 "$@"
set -- "${bench_args[@]}"
(( $# >= 1 && $# <= 3 )) || bench_usage 6 8
build_dir=$(cd "$1" && pwd)
n=${2:-100000}
[[ $n =~ ^[1-9][0-9]*$ ]] || { echo "events must be a positive integer" >&2; exit 2; }
csv_mb=${3:-}
[[ -z $csv_mb || $csv_mb =~ ^[1-9][0-9]*$ ]] || { echo "CSV_MB must be a positive integer" >&2; exit 2; }
bench_require "$build_dir" sqlite3 -- datebell-events datebell-newdb
events=$build_dir/datebell-events
newdb=$build_dir/datebell-newdb
work=$(mktemp -d "${TMPDIR:-/tmp}/datebell-events-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

# The source table: ten years of dates from today on (an import moves an annual event dated
# before today to its next occurrence), a quarter with a time of day, 60% annual, and
# descriptions with commas, quotes and non-ASCII text, all different.
mkdir "$work/source"
"$newdb" "$work/source" >/dev/null
source_db=$work/source/Datebell.mdb
gen_start=$(date +%s%N)
sqlite3 "$source_db" <<SQL
BEGIN;
WITH RECURSIVE seq(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM seq WHERE i + 1 < $n)
INSERT INTO Events (EventDate, Description, RepeatFlag)
SELECT date('now', '+' || ((i * 7919) % 3650) || ' days')
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
# record NAME FILE [EVENTS]: the medians of the runs just made over EVENTS (default: the
# table's), and the size of the file involved.
record() {
    local ms mb size count=${3:-$n}
    ms=$(median <"$work/t.ns" | awk '{ printf "%.0f", $1 / 1e6 }')
    mb=$(median <"$work/t.kb" | awk '$1 == "NA" { print "n/a"; next } { printf "%.1f", $1 / 1024 }')
    size=$(( $(stat -c %s "$2") / 1024 ))
    results+=("$1 $ms $(( count * 1000 / (ms > 0 ? ms : 1) )) $mb $size")
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
        grep -q "Added $n, duplicates 0, skipped 0, unreadable 0" "$work/run.stderr" ||
            { echo "import $format: $(cat "$work/run.stderr")" >&2; exit 1; }
        target_sum=$(sqlite3 "$work/target/Datebell.mdb" \
            "SELECT EventDate, Description, RepeatFlag FROM Events ORDER BY 1, 2, 3" | md5sum)
        [[ $target_sum == "$source_sum" ]] ||
            { echo "import $format: the imported rows differ from the exported ones" >&2; exit 1; }
    done
    record "import-$format" "$work/events.$format"
done

if [[ -n $csv_mb ]]; then
    # The same rows twice: as datebell-events reads them, and in the stored form for sqlite3.
    big=$work/big.csv
    base=$work/base.csv
    awk -v target=$(( csv_mb * 1024 * 1024 )) -v year="$(( $(date +%Y) + 1 ))" \
        -v big="$big" -v base="$base" 'BEGIN {
        print "Date,Description,Annual" > big
        for (i = 0; size < target; i++) {
            d = (i * 7919) % 3650
            date = sprintf("%04d-%02d-%02d", year + int(d / 365), int(d % 365 / 31) % 12 + 1, d % 28 + 1)
            time = (i % 4 == 0) ? sprintf(" %02d:%02d:00", i % 24, (i * 7) % 60) : ""
            k = i % 5
            text = "Event " i (k == 0 ? ", with a comma" : k == 1 ? " \"quoted\"; semi" : k == 2 ? " Žluťoučký kůň 🎂" : "")
            if (k <= 1) { gsub(/"/, "\"\"", text); text = "\"" text "\"" }
            line = date time "," text "," (k < 3 ? "yes" : "no")
            print line > big
            print date (time == "" ? " 00:00:00" : time) "," text "," (k < 3 ? -1 : 0) > base
            size += length(line) + 1
        }
        print i > "/dev/stderr" }' 2>"$work/big.count"
    big_n=$(cat "$work/big.count")
    echo "generated a CSV file of $big_n events, $(( $(stat -c %s "$big") / 1024 / 1024 )) MiB" >&2
    for tool in sqlite3 datebell-events; do
        : >"$work/t.ns"; : >"$work/t.kb"
        for (( r = 1; r <= runs; r++ )); do
            rm -rf "$work/target"
            mkdir "$work/target"
            "$newdb" "$work/target" >/dev/null
            if [[ $tool == sqlite3 ]]; then
                run_checked "$work/run" sqlite3 "$work/target/Datebell.mdb" \
                    ".import --csv $base Events"
            else
                run_checked "$work/run" "$events" --folder "$work/target" import "$big"
                grep -q "Added $big_n, duplicates 0, skipped 0, unreadable 0" "$work/run.stderr" ||
                    { echo "import of the big CSV: $(cat "$work/run.stderr")" >&2; exit 1; }
            fi
            cat "$work/run.ns" >>"$work/t.ns"; cat "$work/run.kb" >>"$work/t.kb"
            count=$(sqlite3 "$work/target/Datebell.mdb" "SELECT count(*) FROM Events")
            [[ $count == "$big_n" ]] || { echo "$tool stored $count of $big_n rows" >&2; exit 1; }
        done
        record "big-$tool" "$big" "$big_n"
    done
fi

echo
echo "datebell-events over $n events (medians of $runs runs; imports into an empty database)"
printf '%-20s %10s %14s %12s %10s\n' operation median_ms events_per_s peak_MB file_KiB
for row in "${results[@]}"; do
    # shellcheck disable=SC2086  # row is a space-separated record
    printf '%-20s %10s %14s %12s %10s\n' $row
done
