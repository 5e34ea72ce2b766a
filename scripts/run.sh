#!/usr/bin/env bash
# Installs what is missing, builds Sparvik and starts it in the current directory.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" "$root/build" -DSPARVIK_BUILD_TESTS=OFF -DSPARVIK_BUILD_BENCH=OFF >/dev/null
exec "$root/build/sparvik"
