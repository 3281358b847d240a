#!/usr/bin/env bash
# Sets up what is missing, builds, and starts kvd62-capture.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh build
exec build/app/kvd62-capture "$@"
