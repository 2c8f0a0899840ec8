#!/usr/bin/env bash
# Installs what is missing, builds, and starts the program against a simulated board: every
# Com port and USB reach the simulated board, so clicking Connect gets an answer.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/install-deps.sh"
"$top/scripts/build.sh" "$top/build"
exec "$top/build/src/tarvo-config" --simulate "$@"
