#!/usr/bin/env bash
# Runs real_window_test.py on a display of its own under Xvfb; exit status 77
# (skipped, with the reason) where Xvfb or Python are missing.
# Usage: run_real_window.sh PROGRAM SIMULATOR SCALE
for tool in xvfb-run /usr/bin/python3; do
    command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
done
exec xvfb-run -a -s '-screen 0 1280x1024x24' /usr/bin/python3 -u \
    "$(dirname "$0")/real_window_test.py" "$@"
