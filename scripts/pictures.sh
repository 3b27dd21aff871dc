#!/usr/bin/env bash
# Pictures of the program's windows for looking at the layout, into FOLDER (default
# /tmp/quorvanta-pictures): every tab of the new-job dialog, and the main window's job list with
# eight downloads running (bench_manager's --shot). Nothing is checked; the tests do that.
set -euo pipefail
cd "$(dirname "$0")/.."
folder=$(realpath -m "${1:-/tmp/quorvanta-pictures}")
mkdir -p "$folder"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
ninja -C build newjob_pictures bench_manager quorvanta-get
export QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}"
build/bin/newjob_pictures "$folder"
build/bin/bench_manager --size 4 --shot "$folder/main-downloading.png" --shot-at 50
echo "$folder/main-downloading.png"
