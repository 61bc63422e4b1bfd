#!/usr/bin/env bash
# Builds the fuzz targets in build-fuzz/ (clang, Ninja) and runs each for a bounded time on a
# small corpus of typed dates made on the fly. Exits non-zero when a target fails.
#
#   tests/fuzz/run.sh [seconds]     seconds per target; default $DATEBELL_FUZZ_SECONDS or 5
#
# Inputs that break a target are kept in build-fuzz/tests/fuzz/artifacts/.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build="$root/build-fuzz"
seconds=${1:-${DATEBELL_FUZZ_SECONDS:-5}}
jobs=${DATEBELL_FUZZ_JOBS:-2}

if ! [[ $seconds =~ ^[1-9][0-9]*$ ]]; then
    echo "run.sh: the time per target must be a whole number of seconds, not '$seconds'" >&2
    exit 2
fi

if [[ ! -f $build/CMakeCache.txt ]]; then
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ \
        -DDATEBELL_FUZZ=ON -DBUILD_TESTING=OFF
elif ! grep -q '^DATEBELL_FUZZ:BOOL=ON$' "$build/CMakeCache.txt"; then
    cmake "$build" -DDATEBELL_FUZZ=ON
fi
cmake --build "$build" --target fuzz_dates fuzz_settings --parallel "$jobs"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
artifacts="$build/tests/fuzz/artifacts"
mkdir -p "$artifacts" "$work/dates" "$work/settings"

samples=("12/25/2026" "2026-12-25 10:30" "10:30" "Dec 25, 2026" "31.12.26" "5.9" "1e999"
    " -1" "#2026-12-06#")
n=0
for sample in "${samples[@]}"; do
    # fuzz_dates reads its first byte as the locale: each sample under each of the five.
    for locale in 0 1 2 3 4; do
        printf '%s%s' "$locale" "$sample" >"$work/dates/sample$n-$locale"
    done
    printf '%s' "$sample" >"$work/settings/sample$n"
    n=$((n + 1))
done
# The edges of the 16-bit range and a half, where the horizon rounds and falls back.
for sample in "32767" "-32769" "0.5" "6"; do
    printf '%s' "$sample" >"$work/settings/sample$n"
    n=$((n + 1))
done

status=0
for target in dates settings; do
    log="$work/$target.log"
    echo "fuzz_$target: ${seconds} s"
    if "$build/tests/fuzz/fuzz_$target" -max_total_time="$seconds" -timeout=10 \
        -print_final_stats=1 -artifact_prefix="$artifacts/fuzz_$target-" \
        "$work/$target" >"$log" 2>&1; then
        result=passed
    else
        result=FAILED
        status=1
        # The report: the broken property or the sanitizer's, and the input that caused it.
        grep -a -v -E '^#[0-9]+[[:space:]]+(NEW|REDUCE|pulse|INITED|RELOAD)' "$log" | tail -n 60 >&2
    fi
    executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    echo "fuzz_$target: $result, ${executions:-?} executions"
done
exit $status
