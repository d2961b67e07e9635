#!/usr/bin/env bash
# The main job on the bundled example project, run against a finished build
# tree (argument 1). It runs every program the build has produced so far.
set -euo pipefail
build=${1:-build}
build=$(cd "$build" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
ran=0
if [ -x "$build/bin/fendal-lit" ]; then
    echo "== IEC literals of the example values (fendal-lit)"
    "$build/bin/fendal-lit" < "$here/values.txt"
    ran=1
fi
if [ -x "$build/bin/varsvc" ] && [ -x "$build/bin/varsvc-call" ]; then
    echo "== Catalogue of the example plant's line 1 (varsvc-call --browse)"
    # An install tree of the example plant below the build tree: the server
    # program in its bin directory (the server works there and reads
    # ..\korvane.ini, ..\Lib and ..\DFB), its libraries beside it.
    tree="$build/example-plant"
    rm -rf "$tree"
    mkdir -p "$tree"
    cp -R "$here/plant/." "$tree/"
    mkdir -p "$tree/bin" "$tree/lib"
    cp "$build/bin/varsvc" "$tree/bin/varsvc"
    for lib in "$build"/lib/*.so*; do
        [ -e "$lib" ] && ln -sf "$lib" "$tree/lib/"
    done
    # The registry store: the user's choice, else one below the build tree.
    export KORVANE_REGISTRY="${KORVANE_REGISTRY:-$build/registry.db}"
    "$tree/bin/varsvc" -RegServer
    echo "registered $tree/bin/varsvc (registry store $KORVANE_REGISTRY)"
    # The first call starts the server by activation; it ends by itself
    # 5 s after the last client has gone.
    "$build/bin/varsvc-call" --browse "$tree/projects/line1/line1.prj"
    ran=1
fi
if [ "$ran" = 0 ]; then
    echo "built: $(ls "$build/lib" "$build/bin" 2>/dev/null | tr '\n' ' ')"
fi
