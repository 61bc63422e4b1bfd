#!/usr/bin/env bash
# Imports, as a dry run into an empty database, every iCalendar, vCalendar, remind, calendar
# and birthday file found under the given folders, and prints what each gave: added, skipped
# and unreadable entries, and the totals. Not part of the tests: it shows how the files that
# other programs wrote on this machine fare.
#
# Usage: tools/events/survey.sh BUILD_DIR [FOLDER...]   (default folder: /usr)
set -euo pipefail

(( $# >= 1 )) || { sed -n '7s/^# //p' "$0" >&2; exit 2; }
build_dir=$(cd "$1" && pwd)
shift
(( $# )) || set -- /usr
work=$(mktemp -d "${TMPDIR:-/tmp}/datebell-survey.XXXXXX")
trap 'rm -rf "$work"' EXIT
"$build_dir/datebell-newdb" "$work" >/dev/null

files=0 added=0 skipped=0 unreadable=0 failed=0
while IFS= read -r -d '' file; do
    files=$(( files + 1 ))
    summary=$("$build_dir/datebell-events" --folder "$work" import --dry-run --skip-bad "$file" \
        2>&1 >/dev/null | grep -E '^Dry run:|^datebell-events:' | tail -n 1) || true
    if [[ $summary =~ would\ add\ ([0-9]+),\ duplicates\ [0-9]+,\ skipped\ ([0-9]+),\ unreadable\ ([0-9]+) ]]; then
        added=$(( added + BASH_REMATCH[1] ))
        skipped=$(( skipped + BASH_REMATCH[2] ))
        unreadable=$(( unreadable + BASH_REMATCH[3] ))
        printf '%6d %6d %6d  %s\n' "${BASH_REMATCH[1]}" "${BASH_REMATCH[2]}" "${BASH_REMATCH[3]}" "$file"
    else
        failed=$(( failed + 1 ))
        printf '%20s  %s: %s\n' "failed" "$file" "$summary"
    fi
done < <(find "$@" -xdev -type f \( -iname '*.ics' -o -iname '*.vcs' -o -iname '*.ifb' \
    -o -iname '*.rem' -o -iname 'calendar.*' -o -iname '*.birthdays' \) \
    ! -iname '*.py' ! -iname '*.pyc' ! -iname '*.vim' -print0 2>/dev/null)
echo "$files files: $added events would be added, $skipped skipped, $unreadable unreadable;" \
     "$failed files gave no events"
