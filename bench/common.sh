# shellcheck shell=bash
# Shared by the benchmark scripts: the command line, tool checks, timed runs and medians.
# Source it from a script: . "$(dirname "$0")/common.sh"

# bench_runs DEFAULT "$@": takes a leading "-r RUNS" (or $RUNS, or DEFAULT) into $runs and
# leaves the other arguments in the array $bench_args.
bench_runs() {
    local default=$1
    shift
    runs=${RUNS:-$default}
    if [[ ${1:-} == -r || ${1:-} == --runs ]]; then
        runs=${2:?missing value for $1}
        shift 2
    fi
    [[ $runs =~ ^[1-9][0-9]*$ ]] || { echo "runs must be a positive integer" >&2; exit 2; }
    # shellcheck disable=SC2034  # read by the sourcing script
    bench_args=("$@")
}

# bench_usage FIRST LAST: prints the usage lines FIRST to LAST of the calling script's header
# and exits 2.
bench_usage() {
    sed -n "$1,$2s/^# \{0,1\}//p" "$0" >&2
    exit 2
}

# bench_require BUILD_DIR TOOL... -- FILE...: the tools on PATH and the files in BUILD_DIR.
bench_require() {
    local build_dir=$1
    shift
    while (( $# )) && [[ $1 != -- ]]; do
        command -v "$1" >/dev/null || { echo "missing tool: $1" >&2; exit 2; }
        shift
    done
    (( $# )) && shift
    for file in "$@"; do
        [[ -e $build_dir/$file ]] || { echo "no $build_dir/$file" >&2; exit 2; }
    done
}

# GNU time gives the peak RSS (%M, KiB) of the timed process itself.
gnu_time=/usr/bin/time
if ! "$gnu_time" -f %M -o /dev/null true 2>/dev/null; then
    echo "note: GNU time not found at $gnu_time; peak RSS will be reported as n/a" >&2
    gnu_time=
fi

# run_timed OUT_PREFIX CMD...: runs CMD once, writes the wall time in ns to OUT_PREFIX.ns, the
# peak RSS in KiB to OUT_PREFIX.kb, its output to OUT_PREFIX.stdout and .stderr, and returns
# CMD's exit status. Every program timed goes through it, so its overhead cancels out.
run_timed() {
    local out=$1 t0 t1 rc=0
    shift
    t0=$(date +%s%N)
    if [[ -n $gnu_time ]]; then
        "$gnu_time" -f %M -o "$out.kb" "$@" >"$out.stdout" 2>"$out.stderr" || rc=$?
        # GNU time puts "Command exited with non-zero status" before the figure.
        tail -n 1 "$out.kb" >"$out.kb.tmp" && mv "$out.kb.tmp" "$out.kb"
    else
        "$@" >"$out.stdout" 2>"$out.stderr" || rc=$?
        echo NA >"$out.kb"
    fi
    t1=$(date +%s%N)
    echo $(( t1 - t0 )) >"$out.ns"
    return "$rc"
}

median() {  # numbers on stdin, one a line
    sort -n | awk '{ v[NR] = $1 } END {
        if (NR == 0) { print "NA"; exit }
        if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
