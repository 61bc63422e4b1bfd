#!/usr/bin/env bash
# Takes the README's screenshots of the reminder window and the event maintenance window:
# the built program on its sample events, under Xvfb, on a fixed day.
#
# Usage: docs/screenshots.sh [BUILD_DIR]      (default: build)
# Needs xvfb-run, xdotool, faketime and ImageMagick's import.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../build}" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cp "$build/datebell" "$build/libdatebell-core.so" "$build/libdatebell-windows.so" "$work/"
faketime -f '@2026-12-06 09:41:00' "$build/datebell-newdb" --sample "$work" >/dev/null

cat >"$work/shoot.sh" <<SHOOT
#!/usr/bin/env bash
set -euo pipefail
export XDG_CONFIG_HOME="$work/config" LANG=en_US.UTF-8
mkdir -p "\$XDG_CONFIG_HOME/Datebell"
printf '[Settings]\nLastRemindDate=2026-12-02\n' >"\$XDG_CONFIG_HOME/Datebell/Datebell.conf"
faketime -f '@2026-12-06 09:41:00' "$work/datebell" &
pid=\$!
main=\$(xdotool search --sync --name '^Datebell for Windows\$' | head -n 1)
sleep 1
import -window "\$main" "$here/reminder-window.png"
xdotool windowfocus --sync "\$main"
xdotool key ctrl+e
maint=\$(xdotool search --sync --name '^Datebell Settings\$' | head -n 1)
sleep 1
import -window "\$maint" "$here/maintenance-window.png"
xdotool windowfocus --sync "\$maint"; xdotool key Escape
sleep 0.5
# Close the reminder window by killing it: its tidy-up would change the sample events.
kill "\$pid"
SHOOT
chmod +x "$work/shoot.sh"
xvfb-run -a -s '-screen 0 1024x768x24' "$work/shoot.sh" 2>/dev/null
echo "Wrote $here/reminder-window.png and $here/maintenance-window.png"
