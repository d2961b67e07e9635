#!/usr/bin/env bash
# The main job on the bundled example project, run against a finished build
# tree (argument 1). It runs every program the build has produced so far.
set -euo pipefail
build=${1:-build}
here=$(cd "$(dirname "$0")" && pwd)
ran=0
if [ -x "$build/bin/fendal-lit" ]; then
    echo "== IEC literals of the example values (fendal-lit)"
    "$build/bin/fendal-lit" < "$here/values.txt"
    ran=1
fi
if [ "$ran" = 0 ]; then
    echo "built: $(ls "$build/lib" "$build/bin" 2>/dev/null | tr '\n' ' ')"
fi
